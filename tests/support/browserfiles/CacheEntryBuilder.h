#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tessaro::test {

// Writes cache entry files the way the browsers do, so tests and the
// benchmark can make caches with exactly the damage or variant they need.

struct SimpleCacheEntryParts {
    std::string key;                 // e.g. "1/0/http://127.0.0.1/movie.swf"
    std::string body;                // stream 1, as stored
    std::string rawHeaders;          // "HTTP/1.1 200 OK\0Content-Type: ...\0\0"
    bool packedLayout = false;       // 20-byte header and end records (32-bit builds)
    bool recordStream1Size = false;  // older builds filled in the stream 1 size
    bool withKeySha256 = true;
    bool truncatedFlag = false;  // the response was cut short
    bool extraFlags = true;      // a Chromium 156-style flags word
};

// The bytes of a <hash>_0 file.
std::string BuildSimpleCacheEntry(const SimpleCacheEntryParts& parts);

// The bytes of a <hash>_s file holding the given (offset, data) ranges.
std::string BuildSimpleCacheSparse(const std::string& key,
                                   const std::vector<std::pair<std::uint64_t, std::string>>& ranges,
                                   bool packedLayout = false);

// The entry file name for a key: first 8 bytes of SHA-1(key) as a
// little-endian number in hex, then "_0".
std::string SimpleCacheEntryName(const std::string& key);

// Raw headers as Chromium keeps them: lines separated by NUL, two at the end.
std::string ChromiumRawHeaders(const std::vector<std::string>& lines);

struct Cache2EntryParts {
    std::string key;   // e.g. "O^partitionKey=%28http%2C127.0.0.1%29,:http://127.0.0.1/movie.swf"
    std::string body;  // as stored
    std::vector<std::pair<std::string, std::string>> elements;
    std::uint32_t version = 4;     // metadata version 1 to 4 (4 writes the two-word trailer)
    bool encryptedOffset = false;  // high bit of the trailer offset
    std::uint32_t flags = 0;
};

// The bytes of a cache2 entry file (the metadata hash is not computed).
std::string BuildCache2Entry(const Cache2EntryParts& parts);

// The entry file name for a key: upper-case hex SHA-1.
std::string Cache2EntryName(const std::string& key);

}  // namespace tessaro::test
