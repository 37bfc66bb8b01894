#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace tessaro::test {

// Prepares the process for tests: headless Qt, the web engine without its
// sandbox and off the network, and a private cache folder so no test reads
// or writes the real user's caches. Call before the application object exists.
void PrepareTestEnvironment();

// The real browser caches and session files the tests read (tests/fixtures).
std::filesystem::path FixturesDir();

// The source tree (node_modules there holds test-only packages).
std::filesystem::path SourceDir();

// Where the build puts the program and everything it loads at run time.
std::filesystem::path RuntimeDir();

// Runs the Qt event loop until the predicate holds or the time-out passes.
// Returns the predicate's last value.
bool WaitUntil(const std::function<bool()>& predicate, int timeoutMs);

}  // namespace tessaro::test
