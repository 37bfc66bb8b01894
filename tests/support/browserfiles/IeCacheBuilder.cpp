#include "support/browserfiles/IeCacheBuilder.h"

#include <cstdio>
#include <cstdlib>

namespace tessaro::test {

namespace {

constexpr std::uint32_t kBlock = 128;
constexpr std::uint32_t kFirstRecord = 0x4000;
constexpr std::uint32_t kBitmapOffset = 0x250;
constexpr std::uint32_t kHashItems = 510;
constexpr std::uint32_t kHashBlocks = 32;
constexpr std::uint32_t kUrlHeaderSize = 104;
constexpr std::uint32_t kFreeItem = 3;  // Wine's free item: key and offset 3

void PutLe32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + std::size_t(i)] = char((value >> (8 * i)) & 0xff);
}

void PutLe64(std::string& bytes, std::size_t at, std::uint64_t value)
{
    PutLe32(bytes, at, std::uint32_t(value));
    PutLe32(bytes, at + 4, std::uint32_t(value >> 32));
}

std::uint32_t RoundToBlocks(std::size_t length)
{
    return std::uint32_t((length + kBlock - 1) / kBlock);
}

// A hash of the URL with the 6 flag bits clear (0: a URL record).
std::uint32_t UrlKey(const std::string& url)
{
    std::uint32_t hash = 2166136261u;
    for (const char c : url)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return (hash & ~0x3fu) | 0x40u;
}

// A URL record: the fixed part, then the URL, the file name and the head,
// with Wine's filler bytes between them.
std::string UrlRecord(const IeCacheEntryParts& entry)
{
    std::string strings = entry.url + '\0';
    const std::uint32_t nameOffset = entry.fileName.empty() ? 0 : kUrlHeaderSize + std::uint32_t(strings.size());
    if (!entry.fileName.empty())
        strings += entry.fileName + '\0';
    while (strings.size() % 4 != 0)
        strings += '\xad';
    const std::uint32_t headOffset = kUrlHeaderSize + std::uint32_t(strings.size());
    strings += entry.head + '\0';
    std::string record(std::size_t(RoundToBlocks(kUrlHeaderSize + strings.size())) * kBlock, '\xef');
    record.replace(0, kUrlHeaderSize, std::string(kUrlHeaderSize, '\0'));
    record.replace(kUrlHeaderSize, strings.size(), strings);
    record.replace(0, 4, "URL ");
    PutLe32(record, 4, std::uint32_t(record.size() / kBlock));
    PutLe64(record, 32, entry.body.size());
    PutLe32(record, 48, 0x60);
    PutLe32(record, 52, kUrlHeaderSize);
    record[56] = char(entry.folder);
    PutLe32(record, 60, nameOffset);
    PutLe32(record, 64, 1);  // a normal cache entry
    PutLe32(record, 68, headOffset);
    PutLe32(record, 72, std::uint32_t(entry.head.size()));
    PutLe32(record, 84, 1);  // hits
    return record;
}

}  // namespace

std::string BuildIeCacheIndex(const IeCacheParts& parts)
{
    const std::uint32_t tables = std::uint32_t(parts.entries.size() / kHashItems + 1);
    std::string records;
    std::vector<std::uint32_t> offsets;
    const std::uint32_t recordsStart = kFirstRecord + tables * kHashBlocks * kBlock;
    for (const IeCacheEntryParts& entry : parts.entries) {
        offsets.push_back(recordsStart + std::uint32_t(records.size()));
        records += UrlRecord(entry);
    }

    std::string index(kFirstRecord, '\0');
    index.replace(0, 28,
                  std::string(parts.wine ? "WINE URLCache Ver 0.2012001" : "Client UrlCache MMF Ver 5.2") + '\0');
    const std::uint32_t usedBlocks = tables * kHashBlocks + std::uint32_t(records.size() / kBlock);
    // Wine's files grow by whole 16 KiB steps.
    const std::uint32_t fileSize = kFirstRecord + ((usedBlocks * kBlock + 0x3fff) / 0x4000) * 0x4000;
    PutLe32(index, 0x1c, fileSize);
    PutLe32(index, 0x20, kFirstRecord);
    PutLe32(index, 0x24, (fileSize - kFirstRecord) / kBlock);
    PutLe32(index, 0x28, usedBlocks);
    PutLe64(index, 0x30, 0x07ff5400);
    std::uint64_t cacheSize = 0;
    std::vector<std::uint32_t> files(parts.folders.size(), 0);
    for (const IeCacheEntryParts& entry : parts.entries) {
        cacheSize += entry.body.size();
        if (entry.folder < files.size())
            ++files[entry.folder];
    }
    PutLe64(index, 0x38, cacheSize);
    PutLe32(index, 0x48, std::uint32_t(parts.folders.size()));
    for (std::size_t i = 0; i < parts.folders.size(); ++i) {
        PutLe32(index, 0x4c + i * 12, files[i]);
        index.replace(0x4c + i * 12 + 4, 8, (parts.folders[i] + std::string(8, '\0')).substr(0, 8));
    }
    for (std::uint32_t block = 0; block < usedBlocks; ++block)
        index[kBitmapOffset + block / 8] = char(index[kBitmapOffset + block / 8] | (1 << (block % 8)));

    for (std::uint32_t table = 0; table < tables; ++table) {
        std::string hash(kHashBlocks * kBlock, '\0');
        hash.replace(0, 4, "HASH");
        PutLe32(hash, 4, kHashBlocks);
        const bool last = table + 1 == tables;
        PutLe32(hash, 8, last ? 0 : kFirstRecord + (table + 1) * kHashBlocks * kBlock);
        PutLe32(hash, 12, table);
        for (std::uint32_t item = 0; item < kHashItems; ++item) {
            const std::size_t entry = std::size_t(table) * kHashItems + item;
            const bool used = entry < parts.entries.size();
            PutLe32(hash, 16 + item * 8, used ? UrlKey(parts.entries[entry].url) : kFreeItem);
            PutLe32(hash, 20 + item * 8, used ? offsets[entry] : kFreeItem);
        }
        index += hash;
    }
    index += records;
    index.resize(fileSize, '\0');
    return index;
}

void WriteIeCache(const std::filesystem::path& container, const IeCacheParts& parts)
{
    const auto write = [](const std::filesystem::path& path, const std::string& bytes) {
        std::filesystem::create_directories(path.parent_path());
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
            std::abort();
        std::fclose(file);
    };
    std::filesystem::create_directories(container);
    for (const std::string& folder : parts.folders)
        std::filesystem::create_directories(container / folder);
    for (const IeCacheEntryParts& entry : parts.entries) {
        if (entry.fileName.empty())
            continue;
        const std::filesystem::path folder =
            entry.folder < parts.folders.size() ? container / parts.folders[entry.folder] : container;
        write(folder / entry.fileName, entry.body);
    }
    write(container / "index.dat", BuildIeCacheIndex(parts));
}

std::string IeResponseHead(const std::vector<std::string>& lines)
{
    std::string head;
    for (const std::string& line : lines)
        head += line + "\r\n";
    return head + "\r\n";
}

}  // namespace tessaro::test
