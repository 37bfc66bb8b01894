#pragma once

#include "formats/urlcache/ChromiumBlockFile.h"
#include "platform/cachewalk/SeparateBodyStarts.h"

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
        BySignature,  // a movie if its body's first bytes say so: only while the look lasts
    };
    Verdict verdict = Verdict::Unknown;
    bool bodySeparate = false;
    std::uint32_t bodyFile = 0;
    std::uint64_t bodyOffset = 0;
    std::uint64_t bodyLength = 0;
    const ByteSource* bodySource = nullptr;
    std::string contentEncoding;
};

// The looks at the entries of index's order, by place in it: every head,
// then the first bytes of every body a head leaves the verdict to, each
// block file read front to back (ReadPieces) on `threads` threads, which
// then finish reading the separate files' starts. Each verdict is Unknown or
// Other: a separate file shorter than its body is Unknown (the full read
// notes it), as are entries not reached once cancelled is set.
std::vector<BlockFileLook> LookAtBlockFileCache(CacheFiles& files, const BlockFileIndex& index,
                                                SeparateBodyStarts& separate, int threads,
                                                const std::atomic<bool>* cancelled = nullptr);

}  // namespace tessaro
