#pragma once

#include <cstdint>

namespace tessaro::simplecache {

// Chromium's "simple cache" disk format (one folder per cache, one set of
// files per entry). All integers little-endian.
//
// <hash>_0 holds streams 0 and 1 of an entry, in this order:
//   SimpleFileHeader           24 bytes (20 in caches written by 32-bit builds)
//     +0  u64 initial magic    0xfcfb6d1ba7725c30
//     +8  u32 version          5 for stream files
//     +12 u32 key length
//     +16 u32 key hash         SuperFastHash of the key (not checked here)
//     +20 u32 padding          only in the 24-byte layout
//   key                        key length bytes, no terminator
//   stream 1                   the HTTP body exactly as received
//   SimpleFileEOF of stream 1  24 bytes (20 in the old layout)
//     +0  u64 final magic      0xf4fa6f45970d41d8
//     +8  u32 flags            bit 0: CRC present, bit 1: SHA-256 of key follows stream 0
//     +12 u32 CRC-32 of the stream (zlib)
//     +16 u32 stream size      left 0 for stream 1 by newer builds; computed instead
//     +20 u32 padding          only in the 24-byte layout
//   stream 0                   pickled HttpResponseInfo (below)
//   SHA-256(key)               32 bytes, when the stream 0 EOF has flag bit 1
//   SimpleFileEOF of stream 0  at the very end of the file
//
// The size of stream 1 is therefore
//   file size - header - key - EOF - stream 0 - SHA-256 - EOF.
//
// <hash>_s holds sparse (ranged) data: a SimpleFileHeader of version 9 and the
// key, then ranges until the end of the file:
//   +0  u64 range magic        0xeb97bf016553676b
//   +8  u64 offset             of this range within the resource
//   +16 u64 length
//   +24 u32 CRC-32 of the data (0: none)
//   +28 u32 padding
//   +32 data                   length bytes
//
// Stream 0, a base::Pickle: u32 payload size, then 4-byte aligned fields:
//   i32 flags                  low 8 bits: version (3); bit 12: body truncated;
//                              bit 31: an extra flags word follows
//   [i32 extra flags]          bit 2: an original response time follows
//   i64 request time, i64 response time, [i64 original response time]
//   string raw headers         i32 length + bytes padded to 4:
//                              "HTTP/1.1 200 OK\0Name: value\0...\0\0"
//   (more fields follow that are not needed here)

constexpr std::uint64_t kInitialMagic = 0xfcfb6d1ba7725c30ULL;
constexpr std::uint64_t kFinalMagic = 0xf4fa6f45970d41d8ULL;
constexpr std::uint64_t kSparseRangeMagic = 0xeb97bf016553676bULL;
constexpr std::uint32_t kEntryVersion = 5;
constexpr std::uint32_t kSparseVersion = 9;

constexpr std::uint32_t kEofHasCrc = 1u << 0;
constexpr std::uint32_t kEofHasKeySha256 = 1u << 1;
constexpr std::uint32_t kKeySha256Size = 32;

constexpr std::uint32_t kResponseInfoTruncated = 1u << 12;
constexpr std::uint32_t kResponseInfoHasExtraFlags = 1u << 31;
constexpr std::uint32_t kResponseInfoExtraHasOriginalResponseTime = 1u << 2;

// Keys longer than this are not HTTP cache keys of any sane entry.
constexpr std::uint32_t kMaxKeyLength = 64 * 1024;

#pragma pack(push, 1)
struct FileHeader {
    std::uint64_t initialMagic;
    std::uint32_t version;
    std::uint32_t keyLength;
    std::uint32_t keyHash;
    std::uint32_t padding;  // absent in the 20-byte layout
};

struct FileEof {
    std::uint64_t finalMagic;
    std::uint32_t flags;
    std::uint32_t dataCrc32;
    std::uint32_t streamSize;
    std::uint32_t padding;  // absent in the 20-byte layout
};

struct SparseRangeHeader {
    std::uint64_t sparseMagic;
    std::uint64_t offset;
    std::uint64_t length;
    std::uint32_t dataCrc32;
    std::uint32_t padding;
};
#pragma pack(pop)

static_assert(sizeof(FileHeader) == 24);
static_assert(sizeof(FileEof) == 24);
static_assert(sizeof(SparseRangeHeader) == 32);

// The same records as written by 32-bit builds, which had no padding words.
constexpr std::uint32_t kPackedHeaderSize = 20;
constexpr std::uint32_t kPackedEofSize = 20;

}  // namespace tessaro::simplecache
