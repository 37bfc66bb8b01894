#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tessaro::test {

// Writes Internet Explorer URL caches (index.dat and the cached files) the
// way WinINet lays them out, so tests and the benchmark can make caches of
// any size and with any names.

struct IeCacheEntryParts {
    std::string url;
    std::string fileName;     // "intro[0]"; empty: the record names no file
    std::uint8_t folder = 0;  // index into the folders, or 0xfe: the container itself
    std::string head;         // "HTTP/1.1 200 OK\r\nContent-Type: ...\r\n\r\n"
    std::string body;         // the cached file's bytes
};

struct IeCacheParts {
    bool wine = true;  // Wine's signature, else Internet Explorer's
    std::vector<std::string> folders = {"8XCE9BS0", "4PY15SWF", "GD44FFJ7", "C5QRCVOM"};
    std::vector<IeCacheEntryParts> entries;
};

// The bytes of index.dat: the header and folder table, a chain of HASH
// records, then one URL record per entry.
std::string BuildIeCacheIndex(const IeCacheParts& parts);

// Writes index.dat and each entry's file into the container folder.
void WriteIeCache(const std::filesystem::path& container, const IeCacheParts& parts);

// A response head as WinINet stores it: CRLF lines and an empty line.
std::string IeResponseHead(const std::vector<std::string>& lines);

}  // namespace tessaro::test
