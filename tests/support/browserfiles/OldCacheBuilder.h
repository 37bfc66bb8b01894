#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tessaro::test {

// Writes caches in the layouts of an old disk: Firefox's "Cache" folder of
// Firefox 1 to 31, and Flash projectors.

struct Cache1EntryParts {
    std::string key;           // "HTTP:http://host/a.swf"
    std::string responseHead;  // CRLF lines
    std::string body;
    std::uint32_t lastModified = 0;
    bool separateMetadata = false;  // the metadata in an "m" file, not a block file
};

struct Cache1Parts {
    std::uint32_t version = 0x00010013;  // 1.19, Firefox 4 to 31; older minors keep 4096-byte bitmaps
    std::vector<Cache1EntryParts> entries;
    bool writeRecords = true;     // false: the map as a browser leaves it before closing
    bool lowerCaseNames = false;  // separate files named as a copy onto a FAT disk may show them
    // Each metadata kept in a separate file also left in a block file, a
    // second older, as when an entry grew past four blocks.
    bool staleBlockCopies = false;
};

// Writes _CACHE_MAP_, the three block files and the separate files: a body
// or metadata of up to four blocks goes in the smallest block file it fits,
// a larger one in a separate file (nested folders from 1.19 on, else flat).
void WriteFirefoxCache1(const std::filesystem::path& folder, const Cache1Parts& parts);

// A Flash projector: a player program's bytes, the movie, then the 0xFA123456
// marker and the movie's length, both little-endian.
std::string BuildProjector(const std::string& player, const std::string& movie);

}  // namespace tessaro::test
