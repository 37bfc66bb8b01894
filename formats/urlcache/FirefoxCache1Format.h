#pragma once

#include <cstdint>

namespace tessaro::cache1 {

// Firefox's disk cache before cache2 (Firefox 4 to 31, and in older forms
// back to Mozilla 1.x): a "Cache" folder holding the map "_CACHE_MAP_", the
// block files "_CACHE_001_" to "_CACHE_003_" and the separate files of large
// entries. All integers big-endian.
//
// _CACHE_MAP_:
//   header                        276 bytes
//     +0   u32 version            0x0001MMMM (major 1, minor MMMM)
//     +4   u32 data size          KiB
//     +8   i32 entry count
//     +12  u32 dirty
//     +16  i32 record count       a multiple of 32
//     +20  u32 eviction rank[32]
//     +148 u32 bucket usage[32]   records in use at the start of each bucket
//   records                       record count, bucket after bucket
//     +0  u32 hash                of the key (HashOfKey below)
//     +4  u32 eviction rank
//     +8  u32 data location
//     +12 u32 metadata location
//
// A location:
//   bit 31          initialized
//   bits 28..29     0: a separate file; 1..3: the block file _CACHE_00n_
//   block file:     bits 24..25 block count - 1, bits 0..23 the first block
//   separate file:  bits 0..7 the generation; the file is
//                   "<h>/<hh>/<hhhhh><d|m><gg>" from the hash's hex digits
//                   (d: data, m: metadata), in forms before Firefox 4
//                   "<hhhhhhhh><d|m><gg>" in the cache folder
//
// _CACHE_00n_: a bitmap of the blocks in use, then the blocks of
// 256 << 2 * (n - 1) bytes; the bitmap is 16384, 4096 and 1024 bytes from
// version 1.19 (Firefox 4) on, 4096 bytes in each file before.
//
// A metadata entry:
//   +0  u32 version
//   +4  u32 metadata location     (0 in some versions)
//   +8  i32 fetch count
//   +12 u32 last fetched          seconds since 1970
//   +16 u32 last modified
//   +20 u32 expiration time
//   +24 u32 data size
//   +28 u32 key size              with its NUL
//   +32 u32 metadata size
//   +36 key                       "<client>:<key>": "HTTP:<url>", ":<url>",
//                                 "HTTP:id=<hex>&uri=<url>" for a POST
//   metadata                      name\0value\0 pairs: request-method,
//                                 response-head (CRLF lines), charset, ...

constexpr std::uint32_t kMapHeaderSize = 276;
constexpr std::uint32_t kRecordSize = 16;
constexpr std::uint32_t kBuckets = 32;
constexpr std::uint32_t kEntryHeaderSize = 36;
constexpr std::uint32_t kMajorVersion = 1;
constexpr std::uint32_t kFirstMinorWithLargeBitmaps = 19;

constexpr std::uint32_t kLocationInitialized = 0x80000000u;
constexpr std::uint32_t kLocationSelectorMask = 0x30000000u;
constexpr std::uint32_t kLocationSelectorShift = 28;
constexpr std::uint32_t kExtraBlocksMask = 0x03000000u;
constexpr std::uint32_t kExtraBlocksShift = 24;
constexpr std::uint32_t kBlockNumberMask = 0x00ffffffu;
constexpr std::uint32_t kGenerationMask = 0xffu;

}  // namespace tessaro::cache1
