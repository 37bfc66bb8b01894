#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tessaro::test {

// The real session files written by the browsers, and what expected.json says they hold.
std::filesystem::path SessionFixture(const std::string& relative);
// The current address of every tab, window by window, of one expected.json entry
// (group "chromium_sessions" or "firefox_sessions").
std::vector<std::string> ExpectedTabAddresses(const std::string& group, const std::string& name);
// Every address in the tabs' histories of that entry.
std::vector<std::string> ExpectedHistoryAddresses(const std::string& group, const std::string& name);

// A mozLz40 file holding text, with an LZ4 block of literals only.
std::string MozLz4Of(const std::string& text);

std::string ReadBytes(const std::filesystem::path& file);

}  // namespace tessaro::test
