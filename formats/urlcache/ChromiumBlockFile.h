#pragma once

#include "formats/urlcache/CacheFiles.h"
#include "formats/urlcache/DamagedEntries.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

// Reader of Chromium's block-file cache (layout in ChromiumBlockFileFormat.h).

enum class BlockFileResult {
    Ok,
    TooShort,    // smaller than its header
    BadMagic,    // not an index or block file
    BadVersion,  // a version this reader does not know
    BadTable,    // the hash table does not fit the index
    BadAddress,  // an address of another type, or outside its file
    BadEntry,    // an entry that is not one: its key or streams do not fit
    ReadFailed,  // a file went away or could not be read
};

const char* ToString(BlockFileResult result);

// The most entries one walk of an index takes, whatever its table says.
constexpr std::size_t kMaxBlockFileEntries = std::size_t(1) << 20;

struct BlockFileEntry {
    std::uint32_t address = 0;
    std::uint32_t next = 0;  // the next entry of the bucket's chain
    std::string key;
    std::int32_t state = 0;
    std::uint64_t creationTime = 0;  // microseconds since 1601
    std::uint32_t flags = 0;
    std::array<std::uint32_t, 4> dataSize{};
    std::array<std::uint32_t, 4> dataAddress{};
};

// The entries the index's hash table leads to, bucket by bucket along each
// chain; a chain stops at an entry seen before or one that cannot be read.
// Ok, or why the index could not be read at all.
BlockFileResult ReadBlockFileEntries(CacheFiles& files, std::vector<BlockFileEntry>& entries);

// Reads the entry at address: its fixed part, its key (inline or long).
BlockFileResult ReadBlockFileEntry(CacheFiles& files, std::uint32_t address, BlockFileEntry& entry);

// The responses of the cache's entries, oldest first (then in table order):
// HTTP entries in the normal state, sparse children folded into their
// parent (a ranged body with a hole leaves the entry out). Body segments name
// their files. The index vouches for an entry in the normal state: one whose
// record, response info or body lies outside its file is left out and noted
// in damaged when given; one that is not HTTP is only left out.
BlockFileResult ReadBlockFileCache(CacheFiles& files, std::vector<IndexedCacheEntry>& entries,
                                   DamagedEntries* damaged = nullptr);

// True when folder holds an index with the block-file cache's magic.
bool IsBlockFileCacheFolder(const std::filesystem::path& folder);

}  // namespace tessaro
