#pragma once

#include "formats/urlcache/CacheFiles.h"
#include "formats/urlcache/DamagedEntries.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

// Reader of Firefox's cache before cache2 (layout in FirefoxCache1Format.h).

enum class Cache1Result {
    Ok,
    TooShort,    // smaller than the map's header
    BadVersion,  // a version this reader does not know
    ReadFailed,  // the map went away or could not be read
};

const char* ToString(Cache1Result result);

// A real entry's elements (response head, security info) take a few KiB; a
// separate metadata file longer than this is not read.
constexpr std::uint64_t kCache1MaxSeparateMetadataBytes = std::uint64_t(1) << 20;

struct Cache1Record {
    std::uint32_t hash = 0;
    std::uint32_t evictionRank = 0;
    std::uint32_t dataLocation = 0;
    std::uint32_t metaLocation = 0;
};

struct Cache1Map {
    std::uint32_t version = 0;
    // The records in use, bucket by bucket, each metadata location once.
    std::vector<Cache1Record> records;
};

// Reads the map's header and the records its buckets use. A map cut after
// its header (Firefox writes the records only when it closes the cache)
// gives no records.
Cache1Result ParseCache1Map(const ByteSource& map, Cache1Map& out);

// The hash Firefox files an entry under (Bob Jenkins' lookup2 of the key).
std::uint32_t Cache1KeyHash(std::string_view key);

// The URL of a key: after the client's name and, for a POST, its id.
std::string Cache1KeyUrl(std::string_view key);

// The entries of a cache folder, oldest first (then in map order). When the
// map holds no records, the separate metadata files and the block files are
// searched for metadata entries instead; their bodies are found only when
// they lie in separate files. Body segments name their files. A map record
// vouches for its entry: one whose metadata or body lies outside its block
// file, or whose separate file is gone, is left out and noted in damaged when
// given; one whose key names no address is only left out.
Cache1Result ReadFirefoxCache1(CacheFiles& files, std::vector<IndexedCacheEntry>& entries,
                               DamagedEntries* damaged = nullptr);

// True when folder holds a _CACHE_MAP_ whose header names version 1.
bool IsCache1Folder(const std::filesystem::path& folder);

}  // namespace tessaro
