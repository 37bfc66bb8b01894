#pragma once

#include "formats/urlcache/ChromiumBlockFile.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

// What a first look at an entry of a block-file cache tells, before any of
// it is read in full: most entries are no movie, and that is told from their
// heads and their bodies' first bytes, read where they lie.
struct BlockFileLook {
    enum class Verdict : std::uint8_t {
        Unknown,      // to be read in full: a movie, or what a look cannot tell
        Other,        // no movie
        BySignature,  // a movie if its body's first bytes say so (a separate file's, not read yet)
    };
    Verdict verdict = Verdict::Unknown;
    bool bodySeparate = false;
    std::uint32_t bodyFile = 0;
    std::uint64_t bodyOffset = 0;
    std::uint64_t bodyLength = 0;
    const ByteSource* bodySource = nullptr;
    std::string contentEncoding;
};

// The looks at the entries of index's order, by place in it: every head, then
// the first bytes of every body a head leaves the verdict to that lies in a
// block file, each block file read front to back (ReadPieces) on `threads`
// threads. Entries not reached once cancelled is set stay Unknown.
std::vector<BlockFileLook> LookAtBlockFileCache(CacheFiles& files, const BlockFileIndex& index, int threads,
                                                const std::atomic<bool>* cancelled = nullptr);

// Whether a look tells no movie: settled so, or left to the first bytes of a
// body in a separate file, read here from the cache's folder (safe on several
// threads). False for a movie and for what a look cannot tell, a separate
// file shorter than its body included: the full read notes that.
bool IsSettledNoMovie(const FolderCacheFiles& files, const BlockFileLook& look);

}  // namespace tessaro
