#include "formats/urlcache/IeUrlCache.h"

#include "formats/urlcache/IeUrlCacheFormat.h"
#include "platform/core/ByteOrder.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <map>
#include <set>
#include <string_view>

namespace tessaro {

namespace {

using namespace ieurlcache;

bool IsRecordOffset(std::uint64_t offset, std::uint64_t fileSize)
{
    return offset >= kFirstRecordOffset && offset % kBlockSize == 0 && offset < fileSize;
}

bool IsPlainFolderName(std::string_view name)
{
    return name.size() == kFolderNameLength && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
           });
}

bool IsPlainFileName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// The NUL-terminated string at offset inside the record; false when the
// offset lies in the fixed part or outside, or no NUL ends it in the record.
bool RecordString(std::string_view record, std::uint32_t offset, std::string& out)
{
    if (offset < sizeof(UrlRecord) || offset >= record.size())
        return false;
    const std::size_t end = record.find('\0', offset);
    if (end == std::string_view::npos)
        return false;
    out.assign(record.substr(offset, end - offset));
    return true;
}

// The blocks of index.dat that records already read hold. A record that
// overlaps one of them is damage or a trap: left unread, each byte of the
// index is read as part of at most one HASH and one URL record.
class ClaimedBlocks {
public:
    // Claims [offset, offset + length); false when part of it is claimed.
    bool Claim(std::uint64_t offset, std::uint64_t length)
    {
        const std::uint64_t end = offset + length;
        auto next = ranges_.lower_bound(offset);
        if (next != ranges_.end() && next->first < end)
            return false;
        if (next != ranges_.begin() && std::prev(next)->second > offset)
            return false;
        ranges_.emplace_hint(next, offset, end);
        return true;
    }

private:
    std::map<std::uint64_t, std::uint64_t> ranges_;  // start -> end
};

// The length of the URL record at offset, from its fixed part; 0 when none
// is there or its length does not fit the file.
std::uint64_t UrlRecordLength(const ByteSource& file, std::uint64_t offset)
{
    std::string start;
    if (!file.Read(offset, 8, start) || std::string_view(start.data(), 4) != "URL ")
        return 0;
    const std::uint64_t length = std::uint64_t(LoadLe32(start.data() + 4)) * kBlockSize;
    if (length < sizeof(UrlRecord) || length > kMaxIeRecordSize || length > file.Size() - offset)
        return 0;
    return length;
}

// Appends the URL records that the items of the HASH record at offset point
// to; next is the offset of the following HASH record.
bool ReadHashRecord(const ByteSource& file, std::uint64_t offset, ClaimedBlocks& claimed,
                    std::set<std::uint32_t>& looked, std::vector<std::uint32_t>& records, std::uint64_t& next)
{
    const std::uint64_t size = file.Size();
    std::string bytes;
    if (!IsRecordOffset(offset, size) || !file.Read(offset, kHashHeaderSize, bytes) ||
        std::string_view(bytes.data(), 4) != "HASH")
        return false;
    const std::uint64_t length = std::uint64_t(LoadLe32(bytes.data() + 4)) * kBlockSize;
    if (length < kHashHeaderSize || length > size - offset || !claimed.Claim(offset, length))
        return false;
    next = LoadLe32(bytes.data() + 8);
    std::string items;
    if (!file.Read(offset + kHashHeaderSize, static_cast<std::size_t>(length - kHashHeaderSize), items))
        return false;
    for (std::size_t at = 0; at + kHashItemSize <= items.size(); at += kHashItemSize) {
        const std::uint32_t key = LoadLe32(items.data() + at);
        const std::uint32_t record = LoadLe32(items.data() + at + 4);
        const std::uint32_t flags = key & kHashFlagMask;
        // Each offset is looked at once, whatever number of items name it.
        if (key == kHashNeverUsed1 || key == kHashNeverUsed2 || key == record || flags == kHashFlagDeleted ||
            flags == kHashFlagFree || !IsRecordOffset(record, size) || !looked.insert(record).second)
            continue;
        // Redirect and leak records share the table; only URL records are entries.
        const std::uint64_t recordLength = UrlRecordLength(file, record);
        if (recordLength != 0 && claimed.Claim(record, recordLength))
            records.push_back(record);
    }
    return true;
}

}  // namespace

const char* ToString(IeCacheResult result)
{
    switch (result) {
        case IeCacheResult::Ok:
            return "ok";
        case IeCacheResult::TooShort:
            return "too short";
        case IeCacheResult::TooLarge:
            return "too large";
        case IeCacheResult::BadSignature:
            return "bad signature";
        case IeCacheResult::BadHeader:
            return "bad header";
        case IeCacheResult::BadHashTable:
            return "bad hash table";
        case IeCacheResult::BadRecord:
            return "bad record";
        case IeCacheResult::NoFile:
            return "no file";
        case IeCacheResult::BadFileName:
            return "bad file name";
        case IeCacheResult::ReadFailed:
            return "read failed";
    }
    return "?";
}

IeCacheResult ParseIeCacheIndex(const ByteSource& file, IeCacheIndex& index)
{
    index = IeCacheIndex();
    const std::uint64_t size = file.Size();
    if (size < kFirstRecordOffset)
        return IeCacheResult::TooShort;
    if (size > kMaxIeIndexSize)
        return IeCacheResult::TooLarge;
    std::string header;
    if (!file.Read(0, kFolderTableOffset + kMaxFolders * sizeof(FolderEntry), header))
        return IeCacheResult::ReadFailed;
    const std::string_view signature(header.data(), kIeSignature.size());
    if (signature != kIeSignature && signature != kWineSignature)
        return IeCacheResult::BadSignature;
    index.wine = signature == kWineSignature;

    const std::uint32_t hashOffset = LoadLe32(header.data() + offsetof(FileHeader, hashOffset));
    const std::uint32_t folderCount = LoadLe32(header.data() + offsetof(FileHeader, folderCount));
    if (!IsRecordOffset(hashOffset, size) || folderCount > kMaxFolders)
        return IeCacheResult::BadHeader;
    for (std::uint32_t i = 0; i < folderCount; ++i) {
        const std::string_view name(header.data() + kFolderTableOffset + i * sizeof(FolderEntry) + 4,
                                    kFolderNameLength);
        index.folders.emplace_back(IsPlainFolderName(name) ? name : std::string_view());
    }

    // A HASH record overlaps none read before it, so a chain that loops ends
    // and the chain reads each block once.
    ClaimedBlocks claimed;
    std::set<std::uint32_t> looked;
    for (std::uint64_t offset = hashOffset; offset != 0;) {
        std::uint64_t next = 0;
        if (!ReadHashRecord(file, offset, claimed, looked, index.records, next)) {
            index.hashTable = IeCacheResult::BadHashTable;
            break;
        }
        offset = next;
    }
    return IeCacheResult::Ok;
}

IeCacheResult ParseIeCacheRecord(const ByteSource& file, std::uint32_t offset, IeCacheRecord& record)
{
    record = IeCacheRecord();
    const std::uint64_t size = file.Size();
    if (!IsRecordOffset(offset, size))
        return IeCacheResult::BadRecord;
    // The record's length from its first 8 bytes, then the record once.
    const std::uint64_t length = UrlRecordLength(file, offset);
    if (length == 0)
        return IeCacheResult::BadRecord;
    std::string bytes;
    if (!file.Read(offset, static_cast<std::size_t>(length), bytes))
        return IeCacheResult::ReadFailed;
    const std::string_view whole(bytes);
    const char* at = bytes.data();

    if (!RecordString(whole, LoadLe32(at + offsetof(UrlRecord, urlOffset)), record.url) || record.url.empty())
        return IeCacheResult::BadRecord;
    const std::uint32_t nameOffset = LoadLe32(at + offsetof(UrlRecord, fileNameOffset));
    if (nameOffset != 0 && !RecordString(whole, nameOffset, record.fileName))
        return IeCacheResult::BadRecord;
    const std::uint32_t headOffset = LoadLe32(at + offsetof(UrlRecord, headersOffset));
    const std::uint32_t headSize = LoadLe32(at + offsetof(UrlRecord, headersSize));
    if (headOffset != 0) {
        if (headOffset < sizeof(UrlRecord) || headOffset > length || headSize > length - headOffset)
            return IeCacheResult::BadRecord;
        record.head.assign(whole.substr(headOffset, headSize));
    }
    record.folder = static_cast<std::uint8_t>(at[offsetof(UrlRecord, cacheFolder)]);
    record.size = LoadLe64(at + offsetof(UrlRecord, size));
    record.entryType = LoadLe32(at + offsetof(UrlRecord, entryType));
    return IeCacheResult::Ok;
}

IeCacheResult IeCacheResponse(const IeCacheIndex& index, const IeCacheRecord& record,
                              const std::filesystem::path& container, CachedResponse& response)
{
    response = CachedResponse();
    if (record.fileName.empty())
        return IeCacheResult::NoFile;
    if (!IsPlainFileName(record.fileName))
        return IeCacheResult::BadFileName;
    BodySegment body;
    if (record.folder == kNoSubfolder)
        body.file = container / record.fileName;
    else if (record.folder < index.folders.size() && !index.folders[record.folder].empty())
        body.file = container / index.folders[record.folder] / record.fileName;
    else
        return IeCacheResult::BadFileName;
    body.length = record.size;
    response.url = record.url;
    ParseResponseHead(record.head, "\r\n", response);
    response.body.push_back(body);
    return IeCacheResult::Ok;
}

bool IsIeCacheFolder(const std::filesystem::path& folder)
{
    const FileByteSource index(folder / "index.dat");
    std::string signature;
    return index.IsOpen() && index.Read(0, kIeSignature.size(), signature) &&
           (signature == kIeSignature || signature == kWineSignature);
}

}  // namespace tessaro
