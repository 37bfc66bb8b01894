#include "formats/urlcache/FirefoxCache2.h"

#include "formats/urlcache/FirefoxCache2Format.h"
#include "platform/core/AsciiText.h"
#include "platform/core/ByteOrder.h"

#include <algorithm>

namespace tessaro {

namespace {

using namespace cache2;

// Metadata larger than this is not metadata: the trailer was read from a
// file that has none yet.
constexpr std::uint64_t kMaxMetadataSize = 8 * 1024 * 1024;

// "<version>;<offset>,<type>" → offset.
bool ParseAltDataOffset(std::string_view value, std::uint64_t& offset)
{
    const std::size_t semicolon = value.find(';');
    const std::size_t comma = value.find(',', semicolon == std::string_view::npos ? 0 : semicolon);
    if (semicolon == std::string_view::npos || comma == std::string_view::npos)
        return false;
    const std::string_view digits = value.substr(semicolon + 1, comma - semicolon - 1);
    return ParseWholeNumber(digits, offset);
}

}  // namespace

const char* ToString(Cache2Result result)
{
    switch (result) {
        case Cache2Result::Ok:
            return "ok";
        case Cache2Result::TooShort:
            return "too short";
        case Cache2Result::NoMetadata:
            return "no metadata yet";
        case Cache2Result::BadOffset:
            return "bad metadata offset";
        case Cache2Result::BadVersion:
            return "bad version";
        case Cache2Result::BadKey:
            return "bad key";
        case Cache2Result::BadElements:
            return "bad elements";
        case Cache2Result::BadAltData:
            return "bad alt-data";
        case Cache2Result::Encrypted:
            return "encrypted";
        case Cache2Result::ReadFailed:
            return "read failed";
    }
    return "?";
}

std::string Cache2KeyUrl(std::string_view key)
{
    std::size_t pos = 0;
    while (pos < key.size()) {
        if (key[pos] == ':')
            return std::string(key.substr(pos + 1));
        // Skip the tag and its value up to the single comma that ends it.
        ++pos;
        while (true) {
            if (pos >= key.size())
                return {};
            if (key[pos] == ',') {
                if (pos + 1 < key.size() && key[pos + 1] == ',') {
                    pos += 2;
                    continue;
                }
                ++pos;
                break;
            }
            ++pos;
        }
    }
    return {};
}

bool IsDamage(Cache2Result result)
{
    switch (result) {
        case Cache2Result::BadOffset:
        case Cache2Result::BadKey:
        case Cache2Result::BadElements:
        case Cache2Result::BadAltData:
            return true;
        default:
            return false;
    }
}

Cache2Result ParseCache2Entry(const ByteSource& file, CachedResponse& response)
{
    const std::uint64_t size = file.Size();
    if (size < 4 + 4 + kVersion1HeaderSize + 1)
        return Cache2Result::TooShort;
    std::string bytes;
    if (!file.Read(size - 8, 8, bytes))
        return Cache2Result::ReadFailed;
    std::uint64_t dataSize = LoadBe32(bytes.data() + 4);
    std::uint64_t trailerSize = 4;
    const bool trailerWritten = LoadBe32(bytes.data()) == kTrailerVersion;
    if (trailerWritten) {
        trailerSize = 8;
        if (dataSize & kEncryptedOffsetBit)
            return Cache2Result::Encrypted;
    }
    // A body still being written ends in body bytes, not in a trailer.
    const Cache2Result badOffset = trailerWritten ? Cache2Result::BadOffset : Cache2Result::NoMetadata;
    if (dataSize > size - trailerSize)
        return badOffset;
    const std::uint64_t metadataSize = size - trailerSize - dataSize;
    if (metadataSize > kMaxMetadataSize)
        return badOffset;
    std::string metadata;
    if (!file.Read(dataSize, static_cast<std::size_t>(metadataSize), metadata))
        return Cache2Result::ReadFailed;

    const std::uint64_t chunks = (dataSize + kChunkSize - 1) / kChunkSize;
    const std::uint64_t headerOffset = 4 + 2 * chunks;
    if (headerOffset + kVersion1HeaderSize > metadata.size())
        return badOffset;
    const char* header = metadata.data() + headerOffset;
    const std::uint32_t version = LoadBe32(header);
    if (version < kMinVersion || version > kMaxVersion)
        return Cache2Result::BadVersion;
    const std::uint64_t headerSize = version == 1 ? kVersion1HeaderSize : sizeof(MetadataHeader);
    if (headerOffset + headerSize > metadata.size())
        return badOffset;
    const std::uint32_t keySize = LoadBe32(header + 24);
    if (version >= 2 && (LoadBe32(header + 28) & kFlagEncrypted))
        return Cache2Result::Encrypted;
    const std::uint64_t keyOffset = headerOffset + headerSize;
    if (keySize > metadata.size() - keyOffset || keySize + 1 > metadata.size() - keyOffset ||
        metadata[keyOffset + keySize] != '\0')
        return Cache2Result::BadKey;
    const std::string_view key(metadata.data() + keyOffset, keySize);
    response.url = Cache2KeyUrl(key);
    if (response.url.empty())
        return Cache2Result::BadKey;

    std::string_view elements(metadata.data() + keyOffset + keySize + 1, metadata.size() - keyOffset - keySize - 1);
    if (!elements.empty() && elements.back() != '\0')
        return Cache2Result::BadElements;
    std::uint64_t bodySize = dataSize;
    while (!elements.empty()) {
        const std::size_t nameEnd = elements.find('\0');
        const std::size_t valueEnd = elements.find('\0', nameEnd + 1);
        if (valueEnd == std::string_view::npos)
            return Cache2Result::BadElements;
        const std::string_view name = elements.substr(0, nameEnd);
        const std::string_view value = elements.substr(nameEnd + 1, valueEnd - nameEnd - 1);
        elements.remove_prefix(valueEnd + 1);
        if (name == "response-head") {
            ParseResponseHead(value, "\r\n", response);
        } else if (name == "alt-data") {
            std::uint64_t offset = 0;
            if (!ParseAltDataOffset(value, offset) || offset > dataSize)
                return Cache2Result::BadAltData;
            bodySize = offset;
        }
    }
    response.body.clear();
    BodySegment segment;
    segment.length = bodySize;
    response.body.push_back(segment);
    return Cache2Result::Ok;
}

Cache2Result ReadCache2Entry(const std::filesystem::path& entryFile, CachedResponse& response)
{
    FileByteSource file(entryFile);
    if (!file.IsOpen())
        return Cache2Result::ReadFailed;
    return ReadCache2Entry(file, entryFile, response);
}

Cache2Result ReadCache2Entry(const ByteSource& file, const std::filesystem::path& entryFile, CachedResponse& response)
{
    const Cache2Result result = ParseCache2Entry(file, response);
    if (result == Cache2Result::Ok)
        response.body.front().file = entryFile;
    return result;
}

bool IsCache2EntryName(const std::string& name)
{
    return name.size() == 40 && std::all_of(name.begin(), name.end(),
                                            [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

}  // namespace tessaro
