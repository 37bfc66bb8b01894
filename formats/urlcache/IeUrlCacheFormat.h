#pragma once

#include <cstdint>
#include <string_view>

namespace tessaro::ieurlcache {

// The WinINet URL cache of Internet Explorer 5 to 9 ("version 5.2"), as
// Internet Explorer and Wine write it: one container folder (Content.IE5)
// holding index.dat and up to 32 cache folders of plain files, one file per
// cached URL. All integers little-endian.
//
// index.dat, a memory-mapped file of 128-byte blocks:
//   +0x000 char[28] signature     "Client UrlCache MMF Ver 5.2\0" (Internet Explorer)
//                                 "WINE URLCache Ver 0.2012001\0" (Wine; same layout)
//   +0x01c u32 file size          the size of index.dat
//   +0x020 u32 hash offset        of the first HASH record
//   +0x024 u32 blocks             128-byte blocks after kFirstRecordOffset
//   +0x028 u32 allocated blocks
//   +0x02c u32                    0
//   +0x030 u64 cache limit, +0x038 u64 cache size, +0x040 u64 exempt size
//   +0x048 u32 folder count       at most 32
//   +0x04c folder table           folder count x (u32 files in folder, char[8] name, no NUL)
//   +0x250 allocation bitmap      one bit per block, up to kFirstRecordOffset
//   +0x4000 records               each "SIGN" + u32 length in blocks, on a block boundary
//
// HASH record: +8 u32 offset of the next HASH record (0: the last), +12 u32
// sequence, then (length - 16) / 8 items of u32 key, u32 record offset. The
// low 6 bits of a key are flags (1: deleted, 3: free); a free item holds
// its own key as offset, and never-used items hold 0x0badf00d or 0xdeadbeef.
//
// URL record (UrlRecord below), 104 bytes, then NUL-terminated strings at
// offsets from the record's start: the URL, the local file name (no folder;
// offset 0: no file) and the HTTP response head (status line and header
// lines, CRLF, as received; headers size bytes, no NUL counted). The bytes
// between strings are not zero. The cached file is
//   <container>/<folder table[cache folder].name>/<local file name>
// or <container>/<local file name> for kNoSubfolder. It holds the body as
// received (still content-encoded when the head names an encoding) or, when
// WinINet decoded it, decoded with Content-Encoding and Content-Length gone
// from the head.

constexpr std::string_view kIeSignature("Client UrlCache MMF Ver 5.2\0", 28);
constexpr std::string_view kWineSignature("WINE URLCache Ver 0.2012001\0", 28);

constexpr std::uint32_t kBlockSize = 128;
constexpr std::uint32_t kFirstRecordOffset = 0x4000;
constexpr std::uint32_t kFolderTableOffset = 0x4c;
constexpr std::uint32_t kFolderNameLength = 8;
constexpr std::uint32_t kMaxFolders = 32;
constexpr std::uint32_t kHashHeaderSize = 16;
constexpr std::uint32_t kHashItemSize = 8;

constexpr std::uint32_t kHashFlagMask = 0x3f;
constexpr std::uint32_t kHashFlagDeleted = 1;
constexpr std::uint32_t kHashFlagFree = 3;
constexpr std::uint32_t kHashNeverUsed1 = 0x0badf00d;
constexpr std::uint32_t kHashNeverUsed2 = 0xdeadbeef;

// The cache folder index of an entry whose file lies in the container itself.
constexpr std::uint8_t kNoSubfolder = 0xfe;

#pragma pack(push, 1)
struct FileHeader {
    char signature[28];
    std::uint32_t fileSize;
    std::uint32_t hashOffset;
    std::uint32_t blocks;
    std::uint32_t allocatedBlocks;
    std::uint32_t unknown;
    std::uint64_t cacheLimit;
    std::uint64_t cacheSize;
    std::uint64_t exemptSize;
    std::uint32_t folderCount;
};

struct FolderEntry {
    std::uint32_t files;
    char name[8];
};

struct UrlRecord {
    char signature[4];  // "URL "
    std::uint32_t blocks;
    std::uint64_t lastModified;  // FILETIME
    std::uint64_t lastAccess;    // FILETIME
    std::uint32_t expires;       // FAT date and time
    std::uint32_t unknown1;
    std::uint64_t size;  // of the cached file
    std::uint32_t unknown2;
    std::uint32_t exemptDelta;
    std::uint32_t unknown3;
    std::uint32_t urlOffset;
    std::uint8_t cacheFolder;
    std::uint8_t unknown4[3];
    std::uint32_t fileNameOffset;
    std::uint32_t entryType;
    std::uint32_t headersOffset;
    std::uint32_t headersSize;
    std::uint32_t extensionOffset;
    std::uint32_t lastSync;
    std::uint32_t hits;
    std::uint32_t useCount;
    std::uint32_t unknown5;
    std::uint32_t unknown6;
    std::uint32_t unknown7;
};
#pragma pack(pop)

static_assert(sizeof(FileHeader) == kFolderTableOffset);
static_assert(sizeof(FolderEntry) == 12);
static_assert(sizeof(UrlRecord) == 104);
static_assert(kFolderTableOffset + kMaxFolders * sizeof(FolderEntry) <= 0x250);

}  // namespace tessaro::ieurlcache
