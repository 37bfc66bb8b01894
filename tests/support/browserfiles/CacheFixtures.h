#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tessaro::test {

// What expected.json says a real browser stored for one URL.
struct ExpectedCacheEntry {
    std::string url;
    int status = 0;
    std::string contentType;
    std::string contentEncoding;
    std::optional<std::uint64_t> storedLength;  // absent for ranged entries
    std::string storedSha256;
    std::optional<std::uint64_t> decodedLength;
    std::string decodedSha256;
    bool isSwf = false;
    bool sparse = false;
    // Internet Explorer's cache only: the file under Content.IE5, the stored
    // head's length, and whether WinINet stored the body decoded.
    std::string localFile;
    std::uint64_t headBytes = 0;
    bool storedDecoded = false;
};

// "chromium_cache", "firefox_cache" or "ie_cache" of the fixtures' expected.json;
// with an empty name, the one listing of another expected.json.
std::vector<ExpectedCacheEntry> ExpectedCacheEntries(const std::string& cache,
                                                     const std::filesystem::path& expected = {});

std::string Sha256Hex(const std::string& bytes);

}  // namespace tessaro::test
