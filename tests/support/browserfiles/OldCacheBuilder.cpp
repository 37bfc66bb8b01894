#include "support/browserfiles/OldCacheBuilder.h"

#include "formats/urlcache/FirefoxCache1.h"

#include <cstdio>
#include <fstream>

namespace tessaro::test {

namespace {

void PutBe32(std::string& out, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + std::size_t(i)] = char(value >> (24 - 8 * i));
}

std::string Be32(std::uint32_t value)
{
    std::string out(4, '\0');
    PutBe32(out, 0, value);
    return out;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

struct BlockFiles {
    std::uint32_t version;
    std::string files[3];

    std::size_t Bitmap(int index) const { return (version & 0xffff) < 19 ? 4096 : 16384u >> (2 * index); }
    // Places bytes in the smallest block file they fit in four blocks of;
    // 0 when none.
    std::uint32_t Place(const std::string& bytes)
    {
        for (int i = 0; i < 3; ++i) {
            const std::size_t block = 256u << (2 * i);
            if (bytes.size() > 4 * block)
                continue;
            std::string& file = files[i];
            if (file.empty())
                file.assign(Bitmap(i), '\0');
            const std::size_t start = (file.size() - Bitmap(i)) / block;
            const std::size_t blocks = (bytes.size() + block - 1) / block;
            file += bytes;
            file.resize(Bitmap(i) + (start + blocks) * block, '\0');
            return 0x80000000u | std::uint32_t(i + 1) << 28 | std::uint32_t(blocks - 1) << 24 | std::uint32_t(start);
        }
        return 0;
    }
};

std::string SeparateName(const Cache1Parts& parts, std::uint32_t hash, char kind)
{
    char name[32];
    if ((parts.version & 0xffff) < 19)
        std::snprintf(name, sizeof name, parts.lowerCaseNames ? "%08x%c01" : "%08X%c01", hash, kind);
    else
        std::snprintf(name, sizeof name, parts.lowerCaseNames ? "%1x/%02x/%05x%c01" : "%1X/%02X/%05X%c01", hash >> 28,
                      (hash >> 20) & 0xff, hash & 0xfffff, kind);
    return name;
}

}  // namespace

void WriteFirefoxCache1(const std::filesystem::path& folder, const Cache1Parts& parts)
{
    constexpr std::uint32_t kPerBucket = 16;
    std::string map(276 + 32 * kPerBucket * 16, '\0');
    PutBe32(map, 0, parts.version);
    PutBe32(map, 8, std::uint32_t(parts.entries.size()));
    PutBe32(map, 16, 32 * kPerBucket);
    BlockFiles blocks{parts.version, {}};
    for (const Cache1EntryParts& entry : parts.entries) {
        const std::uint32_t hash = Cache1KeyHash(entry.key);
        std::string elements = "request-method";
        elements += '\0';
        elements += "GET";
        elements += '\0';
        elements += "response-head";
        elements += '\0';
        elements += entry.responseHead;
        elements += '\0';
        std::string metadata = Be32(parts.version) + Be32(0) + Be32(1) + Be32(entry.lastModified) +
                               Be32(entry.lastModified) + Be32(0) + Be32(std::uint32_t(entry.body.size())) +
                               Be32(std::uint32_t(entry.key.size() + 1)) + Be32(std::uint32_t(elements.size()));
        metadata += entry.key;
        metadata += '\0';
        metadata += elements;
        std::uint32_t dataLocation = entry.body.empty() ? 0 : blocks.Place(entry.body);
        if (!entry.body.empty() && dataLocation == 0) {
            WriteFile(folder / SeparateName(parts, hash, 'd'), entry.body);
            dataLocation = 0x80000001u;
        }
        std::uint32_t metaLocation = entry.separateMetadata ? 0 : blocks.Place(metadata);
        if (metaLocation == 0) {
            WriteFile(folder / SeparateName(parts, hash, 'm'), metadata);
            metaLocation = 0x80000001u;
            if (parts.staleBlockCopies) {
                std::string stale = metadata;
                PutBe32(stale, 16, entry.lastModified - 1);
                blocks.Place(stale);
            }
        }
        const std::uint32_t bucket = hash & 31;
        const std::size_t used = std::size_t(static_cast<unsigned char>(map[148 + 4 * bucket + 3]));
        const std::size_t at = 276 + (bucket * kPerBucket + used) * 16;
        PutBe32(map, at, hash);
        PutBe32(map, at + 4, 1);
        PutBe32(map, at + 8, dataLocation);
        PutBe32(map, at + 12, metaLocation);
        PutBe32(map, 148 + 4 * bucket, std::uint32_t(used + 1));
    }
    WriteFile(folder / "_CACHE_MAP_", parts.writeRecords ? map : map.substr(0, 276));
    for (int i = 0; i < 3; ++i)
        WriteFile(folder / ("_CACHE_00" + std::to_string(i + 1) + "_"),
                  blocks.files[i].empty() ? std::string(blocks.Bitmap(i), '\0') : blocks.files[i]);
}

std::string BuildProjector(const std::string& player, const std::string& movie)
{
    std::string out = player + movie;
    for (const std::uint32_t word : {0xFA123456u, std::uint32_t(movie.size())})
        for (int i = 0; i < 4; ++i)
            out += char(word >> (8 * i));
    return out;
}

}  // namespace tessaro::test
