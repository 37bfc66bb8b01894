#pragma once

#include <cstdint>

namespace tessaro::blockfile {

// Chromium's block-file disk cache (Chrome on Windows, Chromium on Linux
// before the simple cache): one folder holding "index", the block files
// "data_0".."data_3" (and further "data_N" when one fills up) and a file
// "f_NNNNNN" (six lower-case hex digits) per large stream. All integers
// little-endian.
//
// index:
//   IndexHeader                 368 bytes
//     +0  u32 magic             0xc103cac3
//     +4  u32 version           0x20000, 0x20001 or 0x30000
//     +8  i32 entry count
//     +28 i32 table length      0: 0x10000; a power of two
//     +256 LruData              112 bytes (eviction lists, not read here)
//   u32 table[table length]     a cache address per hash bucket: the first
//                               entry of the bucket's chain, 0 for none
//
// A cache address (u32):
//   bit 31        initialized
//   bits 28..30   file type: 0 a separate file, 1 rankings (36-byte blocks),
//                 2 256-byte blocks, 3 1 KiB, 4 4 KiB, others not used here
//   separate file: bits 0..27 the number N of "f_%06x"
//   block file:    bits 24..25 block count - 1, bits 16..23 the number N of
//                  "data_N", bits 0..15 the first block
//
// data_N:
//   BlockFileHeader             8192 bytes
//     +0  u32 magic             0xc104cac3
//     +4  u32 version           0x20000 or 0x30000
//     +8  i16 this file         N
//     +12 i32 entry size        the block size of the file
//     +20 i32 max entries       blocks the file can hold
//   blocks                      block b at 8192 + b * entry size
//
// EntryStore (a block of 256 bytes, up to four for a long key):
//   +0  u32 hash                of the key
//   +4  u32 next                the next entry of the bucket's chain
//   +8  u32 rankings node
//   +20 i32 state               0 normal, 1 evicted, 2 doomed
//   +24 u64 creation time       microseconds since 1601-01-01
//   +32 i32 key length
//   +36 u32 long key            address of the key when it is not inline
//   +40 i32 data size[4]        streams: 0 the HttpResponseInfo pickle,
//                               1 the body as received, 2 the sparse index
//   +56 u32 data address[4]
//   +72 u32 flags               1 a sparse parent, 2 a sparse child
//   +92 u32 self hash
//   +96 key                     inline, NUL-terminated, when it fits
//
// A sparse (ranged) body lives in child entries, each holding 1 MiB of the
// resource in its stream 1. A child's key is
// "Range_<parent key>:<signature, hex>:<child number, hex>" and its stream 2
// starts with a 64-byte header (signature i64, magic u32 0xdeb0fa12, parent
// key length, last block, last block length) and a bitmap of 1024 bits, one
// per KiB written.

constexpr std::uint32_t kIndexMagic = 0xc103cac3;
constexpr std::uint32_t kBlockMagic = 0xc104cac3;
constexpr std::uint32_t kIndexHeaderSize = 368;
constexpr std::uint32_t kDefaultTableLength = 0x10000;
constexpr std::uint32_t kBlockHeaderSize = 8192;
constexpr std::uint32_t kEntryBlockSize = 256;
constexpr std::uint32_t kEntryKeyOffset = 96;
constexpr std::uint32_t kMaxBlocksPerRecord = 4;

constexpr std::uint32_t kAddressInitialized = 0x80000000u;
constexpr std::uint32_t kTypeSeparateFile = 0;
constexpr std::uint32_t kTypeRankings = 1;
constexpr std::uint32_t kTypeBlock4K = 4;

constexpr std::int32_t kEntryNormal = 0;
constexpr std::uint32_t kParentEntry = 1;
constexpr std::uint32_t kChildEntry = 2;

constexpr std::uint32_t kSparseMagic = 0xdeb0fa12;
constexpr std::uint32_t kSparseHeaderSize = 64;
constexpr std::uint32_t kSparseBitmapBytes = 128;
constexpr std::uint64_t kSparseChildSpan = 1u << 20;
constexpr std::uint32_t kSparseBlockSize = 1024;

// Microseconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kUnixEpochMicros = 11644473600LL * 1000000;

}  // namespace tessaro::blockfile
