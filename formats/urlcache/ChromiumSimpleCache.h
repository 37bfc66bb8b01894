#pragma once

#include "formats/urlcache/ByteSource.h"
#include "formats/urlcache/CachedResponse.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tessaro {

// Reader of Chromium's simple cache entries (layout in ChromiumSimpleCacheFormat.h).

enum class SimpleCacheResult {
    Ok,
    TooShort,         // smaller than a header and an end record
    BadMagic,         // not a simple cache file
    BadVersion,       // a version this reader does not know
    BadKey,           // key length out of bounds
    BadEof,           // no end record at the end of the file: being written
    BadStreamSizes,   // the stream sizes do not add up to the file size, or stream 1's end record is not where they say
    BadCrc,           // a stream does not match its recorded CRC-32
    BadResponseInfo,  // stream 0 is not a response record
    SparseIncomplete,  // the body lives in ranges that leave holes
    ReadFailed,        // the file went away or could not be read
};

const char* ToString(SimpleCacheResult result);

// Whether an entry that gave result is damaged (DamagedEntries.h says what
// counts): its end record is written and its file contradicts it. A file
// without its end record is being written; another version, a record that
// is not a response or ranges not fetched yet are not for us.
bool IsDamage(SimpleCacheResult result);

// Parses the contents of a <hash>_0 file. Body segments point into that
// file (their file is left empty); stream 0 is checked against its CRC, the
// body is not (it is checked when read).
SimpleCacheResult ParseSimpleCacheEntry(const ByteSource& file, std::string& key, CachedResponse& response);

struct SparseRange {
    std::uint64_t offset = 0;  // in the resource
    std::uint64_t length = 0;
    std::uint64_t fileOffset = 0;  // of the data in the sparse file
    std::uint32_t crc32 = 0;       // 0: none recorded
};

// Parses a <hash>_s file; its key must be the entry's key.
SimpleCacheResult ParseSimpleCacheSparse(const ByteSource& file, const std::string& key,
                                         std::vector<SparseRange>& ranges);

// The body as segments of the sparse file when the ranges cover [0, total)
// without a hole; overlapping ranges are trimmed.
bool SparseBody(std::vector<SparseRange> ranges, std::uint64_t total, const std::filesystem::path& sparseFile,
                std::vector<BodySegment>& body);

// Reads one entry from its <hash>_0 file, taking its body from <hash>_s when
// the entry kept it there. Body segments name their files.
SimpleCacheResult ReadSimpleCacheEntry(const std::filesystem::path& entryFile, CachedResponse& response);
// The same, for an entry file the caller has opened already. folderFd, when
// given, is the open folder of entryFile: the sparse file is opened in it.
SimpleCacheResult ReadSimpleCacheEntry(const ByteSource& file, const std::filesystem::path& entryFile,
                                       CachedResponse& response, int folderFd = -1);

// True for the names of entry files: 16 lower-case hex digits and "_0".
bool IsSimpleCacheEntryName(const std::string& name);

}  // namespace tessaro
