#pragma once

// Splits one fuzz input into the named files of a cache: each file is a
// u32 little-endian length and that many bytes, in the order of the names;
// a name the input does not reach is a missing file.

#include "formats/urlcache/CacheFiles.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

inline std::map<std::string, std::string> CacheFilesOfInput(const std::uint8_t* data, std::size_t size,
                                                            const std::vector<std::string>& names)
{
    std::map<std::string, std::string> files;
    std::size_t at = 0;
    for (const std::string& name : names) {
        if (size - at < 4)
            break;
        std::uint32_t length = 0;
        for (int i = 0; i < 4; ++i)
            length |= std::uint32_t(data[at + std::size_t(i)]) << (8 * i);
        at += 4;
        const std::size_t take = length < size - at ? length : size - at;
        files[name].assign(reinterpret_cast<const char*>(data + at), take);
        at += take;
    }
    return files;
}

// Every body segment lies inside a file of the cache (or names a separate
// file the reader was not given bytes of).
inline bool SegmentsInside(const std::vector<tessaro::IndexedCacheEntry>& entries,
                           const std::map<std::string, std::string>& files)
{
    for (const tessaro::IndexedCacheEntry& entry : entries) {
        for (const tessaro::BodySegment& segment : entry.response.body) {
            const std::string name = segment.file.lexically_relative("/cache").string();
            const auto file = files.find(name);
            if (file == files.end())
                continue;
            if (segment.offset > file->second.size() || segment.length > file->second.size() - segment.offset)
                return false;
        }
    }
    return true;
}
