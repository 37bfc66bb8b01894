#pragma once

#include "formats/urlcache/CacheFiles.h"
#include "formats/urlcache/DamagedEntries.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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

// A piece of a sparse body: where it lies in the resource and in the cache.
struct BlockFileSparsePiece {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string file;
    std::uint64_t fileOffset = 0;
};

// The block files data_<n> of a cache, by number, as the index's reading
// opened them (null: missing, or never named), with the block size each
// header gives (0: not a block file).
struct BlockFileTable {
    std::array<const ByteSource*, 256> files{};
    std::array<std::uint32_t, 256> blockSizes{};
    std::array<bool, 256> opened{};
};

// What a walk needs before its first response: the entries, the pieces of
// their sparse bodies by parent key, the order the responses come in, and
// the block files they are read from.
struct BlockFileIndex {
    BlockFileTable blockFiles;
    std::vector<BlockFileEntry> entries;
    std::map<std::string, std::vector<BlockFileSparsePiece>> sparse;
    std::vector<std::size_t> order;  // into entries: oldest first, then in table order
};

// Reads the index and every entry's fixed part and key; no response yet.
// An entry record the index leads to that cannot be read is noted in damaged.
// found, when given, has the entries as they are read, a step of the walk at
// a time, on the calling thread: work on them can start before the walk ends.
using BlockFileEntriesFound = std::function<void(std::span<const BlockFileEntry>)>;
BlockFileResult IndexBlockFileCache(CacheFiles& files, BlockFileIndex& index, DamagedEntries* damaged = nullptr,
                                    const BlockFileEntriesFound& found = nullptr);

// The response of the nth entry of the order; false when it is none (not
// HTTP, cut, a sparse body with a hole). Safe to call from several threads
// over files that are (FolderCacheFiles).
// Damage is noted in damaged, which is the caller's own on each thread.
bool BlockFileResponse(CacheFiles& files, const BlockFileIndex& index, std::size_t nth, IndexedCacheEntry& out,
                       DamagedEntries* damaged = nullptr);

// An entry as it lies in the cache's files, for a first look: its key, its
// NUL-separated HTTP head (views of the index and of a block file) and where
// its body lies. A body in a separate file is not checked against that
// file's length here: its reader opens the file and does that.
struct BlockFileHead {
    std::string_view key;
    std::string_view head;
    bool truncated = false;
    std::uint64_t bodyLength = 0;
    bool bodySeparate = false;   // in f_<bodyFile>, else in data_<bodyFile>
    std::uint32_t bodyFile = 0;  // the file's number
    std::uint64_t bodyOffset = 0;
    const ByteSource* bodySource = nullptr;  // the block file, as the index's files hold it
};

// Looks at every entry of the order, reading each block file front to back
// once (ReadPieces), on `threads` threads: look(nth, head) for each entry a
// look is enough for, in no set order, the head's views lasting for the call.
// An entry a look is not enough for (a sparse body, a head in a separate
// file, anything damaged) is left out: BlockFileResponse reads it, and notes
// what is wrong. Over files that are safe on several threads (FolderCacheFiles)
// when threads > 1.
// Each thread, its share of the heads read, calls then() (ReadPieces).
using LookAtBlockFileEntry = std::function<void(std::size_t nth, const BlockFileHead& head)>;
void LookAtBlockFileEntries(CacheFiles& files, const BlockFileIndex& index, const LookAtBlockFileEntry& look,
                            int threads = 1, const std::atomic<bool>* cancelled = nullptr,
                            const std::function<void()>& then = nullptr);

// The number of the separate file (f_<number>) an entry's body is kept in;
// nothing for a body in a block file, or none.
std::optional<std::uint32_t> SeparateBodyFile(const BlockFileEntry& entry);

// The name of the file a body lies in, among the cache's files.
std::string BlockFileBodyName(bool separate, std::uint32_t number);

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
