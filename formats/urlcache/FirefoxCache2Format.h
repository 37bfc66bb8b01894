#pragma once

#include <cstdint>

namespace tessaro::cache2 {

// Firefox's cache2 entry file (cache2/entries/<SHA-1 of the key, upper hex>).
// All integers big-endian. The body comes first, the metadata after it, and
// the file ends with a trailer that says where the metadata begins:
//
//   0        body                 D bytes, as received (still content-encoded)
//   D        u32 metadata hash    Jenkins lookup2 over the chunk hashes through the elements
//   D+4      u16 chunk hashes     one per 256 KiB chunk of the body: ceil(D / 262144)
//   ...      MetadataHeader       8 x u32 (version 1: 7, it had no flags word)
//              version, fetch count, last fetched, last modified, frecency,
//              expiration time, key size, flags
//   ...      key                  key size bytes, then a NUL
//   ...      elements             "name\0value\0" pairs
//   trailer  version 4:           u32 4, u32 D (high bit set: entry encrypted)
//            versions 1 to 3:     u32 D
//
// The key is a list of one-character tags, each with an optional value and
// ended by "," (a comma inside a value is doubled); the tag ":" ends the list
// and everything after it is the URL, e.g. "O^partitionKey=%28http%2C...%29,:http://host/a.swf".
//
// Elements used here: "response-head" (status line and headers, CRLF lines)
// and "alt-data" ("<version>;<offset>,<type>": the HTTP body is only the
// first <offset> bytes, the rest is another representation).

constexpr std::uint32_t kChunkSize = 256 * 1024;
constexpr std::uint32_t kTrailerVersion = 4;
constexpr std::uint32_t kEncryptedOffsetBit = 0x80000000u;
constexpr std::uint32_t kFlagEncrypted = 1u << 1;
constexpr std::uint32_t kMinVersion = 1;
constexpr std::uint32_t kMaxVersion = 4;

#pragma pack(push, 1)
struct MetadataHeader {
    std::uint32_t version;
    std::uint32_t fetchCount;
    std::uint32_t lastFetched;
    std::uint32_t lastModified;
    std::uint32_t frecency;
    std::uint32_t expirationTime;
    std::uint32_t keySize;
    std::uint32_t flags;  // absent in version 1
};
#pragma pack(pop)

static_assert(sizeof(MetadataHeader) == 32);
constexpr std::uint32_t kVersion1HeaderSize = 28;

}  // namespace tessaro::cache2
