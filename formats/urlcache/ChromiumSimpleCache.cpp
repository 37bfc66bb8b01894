#include "formats/urlcache/ChromiumSimpleCache.h"

#include "formats/urlcache/ChromiumResponseInfo.h"
#include "formats/urlcache/ChromiumSimpleCacheFormat.h"
#include "platform/core/ByteOrder.h"

#include <algorithm>
#include <zlib.h>

namespace tessaro {

namespace {

using namespace simplecache;

struct Layout {
    std::uint32_t headerSize = 0;
    std::uint32_t eofSize = 0;
};

struct Eof {
    std::uint64_t magic = 0;
    std::uint32_t flags = 0;
    std::uint32_t crc = 0;
    std::uint32_t streamSize = 0;
};

Eof DecodeEof(const std::string& bytes)
{
    return {LoadLe64(bytes.data()), LoadLe32(bytes.data() + 8), LoadLe32(bytes.data() + 12),
            LoadLe32(bytes.data() + 16)};
}

std::uint32_t Crc32(const std::string& bytes)
{
    return static_cast<std::uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// The layout follows from where the final end record lies: 64-bit builds pad
// both records to 24 bytes, 32-bit builds wrote 20.
bool DetectLayout(const ByteSource& file, Layout& layout)
{
    std::string bytes;
    for (const std::uint32_t eof : {std::uint32_t(sizeof(FileEof)), kPackedEofSize}) {
        if (file.Size() < eof || !file.Read(file.Size() - eof, 8, bytes))
            continue;
        if (LoadLe64(bytes.data()) == kFinalMagic) {
            layout.eofSize = eof;
            layout.headerSize = eof == sizeof(FileEof) ? std::uint32_t(sizeof(FileHeader)) : kPackedHeaderSize;
            return true;
        }
    }
    return false;
}

SimpleCacheResult ReadHeaderAndKey(const ByteSource& file, const Layout& layout, std::uint32_t version,
                                   std::string& key)
{
    std::string bytes;
    if (!file.Read(0, layout.headerSize, bytes))
        return SimpleCacheResult::TooShort;
    if (LoadLe64(bytes.data()) != kInitialMagic)
        return SimpleCacheResult::BadMagic;
    if (LoadLe32(bytes.data() + 8) != version)
        return SimpleCacheResult::BadVersion;
    const std::uint32_t keyLength = LoadLe32(bytes.data() + 12);
    if (keyLength == 0 || keyLength > kMaxKeyLength || keyLength > file.Size() - layout.headerSize)
        return SimpleCacheResult::BadKey;
    if (!file.Read(layout.headerSize, keyLength, key))
        return SimpleCacheResult::ReadFailed;
    return SimpleCacheResult::Ok;
}

}  // namespace

const char* ToString(SimpleCacheResult result)
{
    switch (result) {
        case SimpleCacheResult::Ok:
            return "ok";
        case SimpleCacheResult::TooShort:
            return "too short";
        case SimpleCacheResult::BadMagic:
            return "bad magic";
        case SimpleCacheResult::BadVersion:
            return "bad version";
        case SimpleCacheResult::BadKey:
            return "bad key";
        case SimpleCacheResult::BadEof:
            return "bad end record";
        case SimpleCacheResult::BadStreamSizes:
            return "bad stream sizes";
        case SimpleCacheResult::BadCrc:
            return "bad CRC";
        case SimpleCacheResult::BadResponseInfo:
            return "bad response info";
        case SimpleCacheResult::SparseIncomplete:
            return "sparse body incomplete";
        case SimpleCacheResult::ReadFailed:
            return "read failed";
    }
    return "?";
}

bool IsDamage(SimpleCacheResult result)
{
    switch (result) {
        case SimpleCacheResult::BadMagic:
        case SimpleCacheResult::BadKey:
        case SimpleCacheResult::BadStreamSizes:
        case SimpleCacheResult::BadCrc:
            return true;
        default:
            return false;
    }
}

SimpleCacheResult ParseSimpleCacheEntry(const ByteSource& file, std::string& key, CachedResponse& response)
{
    if (file.Size() < kPackedHeaderSize + kPackedEofSize)
        return SimpleCacheResult::TooShort;
    Layout layout;
    if (!DetectLayout(file, layout)) {
        std::string magic;
        if (file.Read(0, 8, magic) && LoadLe64(magic.data()) != kInitialMagic)
            return SimpleCacheResult::BadMagic;
        return SimpleCacheResult::BadEof;
    }
    if (file.Size() < layout.headerSize + 2 * layout.eofSize)
        return SimpleCacheResult::TooShort;
    if (const auto result = ReadHeaderAndKey(file, layout, kEntryVersion, key); result != SimpleCacheResult::Ok)
        return result;

    const std::uint64_t size = file.Size();
    std::string bytes;
    if (!file.Read(size - layout.eofSize, 20, bytes))
        return SimpleCacheResult::ReadFailed;
    const Eof eof0 = DecodeEof(bytes);
    const std::uint64_t sha = (eof0.flags & kEofHasKeySha256) ? kKeySha256Size : 0;
    const std::uint64_t fixed = std::uint64_t(layout.headerSize) + key.size() + 2 * layout.eofSize + sha;
    if (fixed > size || eof0.streamSize > size - fixed)
        return SimpleCacheResult::BadStreamSizes;
    const std::uint64_t stream1Size = size - fixed - eof0.streamSize;
    const std::uint64_t stream1Offset = layout.headerSize + key.size();
    const std::uint64_t eof1Offset = stream1Offset + stream1Size;

    if (!file.Read(eof1Offset, 20, bytes))
        return SimpleCacheResult::ReadFailed;
    const Eof eof1 = DecodeEof(bytes);
    // The final end record is written last: stream 1's missing from where
    // it says is damage, not a write under way.
    if (eof1.magic != kFinalMagic)
        return SimpleCacheResult::BadStreamSizes;
    // Older builds record the size of stream 1 too; newer ones leave it 0.
    if (eof1.streamSize != 0 && eof1.streamSize != stream1Size)
        return SimpleCacheResult::BadStreamSizes;

    std::string stream0;
    if (!file.Read(eof1Offset + layout.eofSize, eof0.streamSize, stream0))
        return SimpleCacheResult::ReadFailed;
    if ((eof0.flags & kEofHasCrc) && Crc32(stream0) != eof0.crc)
        return SimpleCacheResult::BadCrc;
    if (!ParseChromiumResponseInfo(stream0, response))
        return SimpleCacheResult::BadResponseInfo;

    response.url = ChromiumKeyUrl(key);
    response.body.clear();
    BodySegment segment;
    segment.offset = stream1Offset;
    segment.length = stream1Size;
    if (eof1.flags & kEofHasCrc)
        segment.crc32 = eof1.crc;
    response.body.push_back(segment);
    return SimpleCacheResult::Ok;
}

SimpleCacheResult ParseSimpleCacheSparse(const ByteSource& file, const std::string& key,
                                         std::vector<SparseRange>& ranges)
{
    ranges.clear();
    // Sparse files end with a range, not an end record: try the padded
    // header first, then the packed one, and take the one whose key matches.
    for (const std::uint32_t headerSize : {std::uint32_t(sizeof(FileHeader)), kPackedHeaderSize}) {
        Layout layout{headerSize, 0};
        std::string fileKey;
        const auto result = ReadHeaderAndKey(file, layout, kSparseVersion, fileKey);
        if (result != SimpleCacheResult::Ok) {
            if (result == SimpleCacheResult::BadKey || result == SimpleCacheResult::ReadFailed)
                continue;
            return result;
        }
        if (fileKey != key)
            continue;
        std::uint64_t pos = headerSize + key.size();
        std::string bytes;
        while (pos < file.Size()) {
            if (!file.Read(pos, sizeof(SparseRangeHeader), bytes))
                return SimpleCacheResult::BadEof;
            if (LoadLe64(bytes.data()) != kSparseRangeMagic)
                return SimpleCacheResult::BadMagic;
            SparseRange range;
            range.offset = LoadLe64(bytes.data() + 8);
            range.length = LoadLe64(bytes.data() + 16);
            range.crc32 = LoadLe32(bytes.data() + 24);
            range.fileOffset = pos + sizeof(SparseRangeHeader);
            if (range.length > file.Size() - range.fileOffset || range.offset + range.length < range.offset)
                return SimpleCacheResult::BadStreamSizes;
            ranges.push_back(range);
            pos = range.fileOffset + range.length;
        }
        return SimpleCacheResult::Ok;
    }
    return SimpleCacheResult::BadKey;
}

bool SparseBody(std::vector<SparseRange> ranges, std::uint64_t total, const std::filesystem::path& sparseFile,
                std::vector<BodySegment>& body)
{
    body.clear();
    std::sort(ranges.begin(), ranges.end(),
              [](const SparseRange& a, const SparseRange& b) { return a.offset < b.offset; });
    std::uint64_t covered = 0;
    for (const SparseRange& range : ranges) {
        if (covered >= total)
            break;
        if (range.offset > covered)
            return false;  // a hole: data never fetched
        const std::uint64_t end = std::min(range.offset + range.length, total);
        if (end <= covered)
            continue;
        BodySegment segment;
        segment.file = sparseFile;
        const std::uint64_t skip = covered - range.offset;
        segment.offset = range.fileOffset + skip;
        segment.length = end - covered;
        // A CRC covers the whole range; only an untrimmed range can be checked.
        if (range.crc32 != 0 && skip == 0 && segment.length == range.length)
            segment.crc32 = range.crc32;
        body.push_back(segment);
        covered = end;
    }
    return covered == total && total > 0;
}

SimpleCacheResult ReadSimpleCacheEntry(const std::filesystem::path& entryFile, CachedResponse& response)
{
    FileByteSource file(entryFile);
    if (!file.IsOpen())
        return SimpleCacheResult::ReadFailed;
    return ReadSimpleCacheEntry(file, entryFile, response);
}

SimpleCacheResult ReadSimpleCacheEntry(const ByteSource& file, const std::filesystem::path& entryFile,
                                       CachedResponse& response, int folderFd)
{
    std::string key;
    if (const auto result = ParseSimpleCacheEntry(file, key, response); result != SimpleCacheResult::Ok)
        return result;
    for (BodySegment& segment : response.body)
        segment.file = entryFile;
    if (response.StoredSize() != 0)
        return SimpleCacheResult::Ok;

    std::filesystem::path sparsePath = entryFile;
    sparsePath.replace_filename(entryFile.filename().string().substr(0, 16) + "_s");
    const FileByteSource sparse =
        folderFd >= 0 ? FileByteSource(folderFd, sparsePath.filename().c_str()) : FileByteSource(sparsePath);
    if (!sparse.IsOpen())
        return SimpleCacheResult::Ok;  // an empty body
    std::vector<SparseRange> ranges;
    if (const auto result = ParseSimpleCacheSparse(sparse, key, ranges); result != SimpleCacheResult::Ok)
        return result;
    // A ranged answer's stored Content-Length is the full length (Chromium
    // rewrites it); Content-Range names it too.
    const std::uint64_t total = response.rangeTotal.value_or(response.contentLength.value_or(0));
    if (!SparseBody(ranges, total, sparsePath, response.body))
        return SimpleCacheResult::SparseIncomplete;
    return SimpleCacheResult::Ok;
}

bool IsSimpleCacheEntryName(const std::string& name)
{
    if (name.size() != 18 || name[16] != '_' || name[17] != '0')
        return false;
    return std::all_of(name.begin(), name.begin() + 16,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace tessaro
