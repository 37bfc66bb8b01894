#include "formats/urlcache/FirefoxCache1.h"

#include "formats/urlcache/FirefoxCache1Format.h"
#include "platform/core/AsciiText.h"
#include "platform/core/ByteOrder.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <unordered_set>

namespace tessaro {

namespace {

using namespace cache1;

constexpr std::uint32_t kMaxKeySize = 64 * 1024;
constexpr std::uint32_t kMaxRecords = 1u << 20;
// Generations tried for a separate file when no record names it.
constexpr std::uint32_t kRecoveryGenerations = 4;

std::uint32_t BlockSize(std::uint32_t selector)
{
    return 256u << (2 * (selector - 1));
}

std::uint32_t BitmapBytes(std::uint32_t version, std::uint32_t selector)
{
    if ((version & 0xffff) < kFirstMinorWithLargeBitmaps)
        return 4096;
    return 16384u >> (2 * (selector - 1));
}

std::string BlockFileName(std::uint32_t selector)
{
    return "_CACHE_00" + std::to_string(selector) + "_";
}

// The two names a separate file has had: in a folder per hash digit, and
// before Firefox 4 in the cache folder itself; then both in lower case, as a
// copy onto a FAT disk may show them.
std::vector<std::string> SeparateFileNames(std::uint32_t hash, char kind, std::uint32_t generation)
{
    char nested[32], flat[32];
    std::snprintf(nested, sizeof nested, "%1X/%02X/%05X%c%02X", hash >> 28, (hash >> 20) & 0xff, hash & 0xfffff, kind,
                  generation & 0xff);
    std::snprintf(flat, sizeof flat, "%08X%c%02X", hash, kind, generation & 0xff);
    std::vector<std::string> names{nested, flat, nested, flat};
    for (std::size_t i = 2; i < names.size(); ++i)
        for (char& c : names[i])
            c = (c >= 'A' && c <= 'F') ? char(c - 'A' + 'a') : c;
    return names;
}

bool IsBlockFile(const std::string& name)
{
    return name.find('/') == std::string::npos && name.rfind("_CACHE_", 0) == 0;
}

// What the name of a separate metadata file says: "H/HH/HHHHHmGG", or before
// Firefox 4 "HHHHHHHHmGG", in upper case as Firefox writes it or in lower
// case as a copy onto another disk may show it.
struct SeparateMetadataName {
    std::uint32_t hash = 0;
    std::string dataName;  // the data file of the same hash and generation, spelled alike
};

std::optional<SeparateMetadataName> ParseSeparateMetadataName(const std::string& name)
{
    std::string digits;
    std::size_t kind = 0;
    if (name.size() == 13 && name[1] == '/' && name[4] == '/') {
        digits = name.substr(0, 1) + name.substr(2, 2) + name.substr(5, 5);
        kind = 10;
    } else if (name.size() == 11) {
        digits = name.substr(0, 8);
        kind = 8;
    } else {
        return std::nullopt;
    }
    if (name[kind] != 'm' && name[kind] != 'M')
        return std::nullopt;
    digits += name.substr(kind + 1);
    SeparateMetadataName parsed;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const int digit = HexDigitValue(digits[i]);
        if (digit < 0)
            return std::nullopt;
        if (i < 8)
            parsed.hash = parsed.hash << 4 | std::uint32_t(digit);
    }
    parsed.dataName = name;
    parsed.dataName[kind] = name[kind] == 'm' ? 'd' : 'D';
    return parsed;
}

// Where a location's bytes lie: a file of the cache, an offset, and how many
// bytes it holds at most (a block file's last block may be cut short).
struct Place {
    std::string file;
    std::uint64_t offset = 0;
    std::uint64_t capacity = 0;
};

bool LocationPlace(CacheFiles& files, std::uint32_t version, std::uint32_t hash, std::uint32_t location, char kind,
                   Place& place)
{
    if (!(location & kLocationInitialized))
        return false;
    const std::uint32_t selector = (location & kLocationSelectorMask) >> kLocationSelectorShift;
    if (selector == 0) {
        for (const std::string& name : SeparateFileNames(hash, kind, location & kGenerationMask)) {
            if (const auto size = files.SizeOf(name)) {
                place = {name, 0, *size};
                return true;
            }
        }
        return false;
    }
    place.file = BlockFileName(selector);
    const std::optional<std::uint64_t> size = files.SizeOf(place.file);
    const std::uint64_t blocks = ((location & kExtraBlocksMask) >> kExtraBlocksShift) + 1;
    place.offset = BitmapBytes(version, selector) + std::uint64_t(location & kBlockNumberMask) * BlockSize(selector);
    if (!size || place.offset >= *size)
        return false;
    place.capacity = std::min<std::uint64_t>(blocks * BlockSize(selector), *size - place.offset);
    return true;
}

// A metadata entry: its header, key and elements, all inside capacity bytes.
struct Metadata {
    std::uint32_t lastModified = 0;
    std::uint32_t dataSize = 0;
    std::string key;
    std::string elements;
};

bool ReadMetadata(const ByteSource& file, std::uint64_t offset, std::uint64_t capacity, Metadata& out)
{
    std::string header;
    if (capacity < kEntryHeaderSize || !file.Read(offset, kEntryHeaderSize, header) ||
        LoadBe32(header.data()) >> 16 != kMajorVersion)
        return false;
    out.lastModified = LoadBe32(header.data() + 16);
    out.dataSize = LoadBe32(header.data() + 24);
    const std::uint32_t keySize = LoadBe32(header.data() + 28);
    const std::uint32_t metaSize = LoadBe32(header.data() + 32);
    if (keySize < 2 || keySize > kMaxKeySize || metaSize > capacity ||
        std::uint64_t(keySize) + metaSize > capacity - kEntryHeaderSize)
        return false;
    if (!file.Read(offset + kEntryHeaderSize, keySize, out.key) || out.key.back() != '\0' ||
        out.key.find(':') == std::string::npos)
        return false;
    out.key.pop_back();
    return file.Read(offset + kEntryHeaderSize + keySize, metaSize, out.elements);
}

// Fills the response's URL and heads from a metadata entry.
bool MetadataResponse(const Metadata& metadata, CachedResponse& response)
{
    response.url = Cache1KeyUrl(metadata.key);
    if (response.url.empty())
        return false;
    std::string_view elements = metadata.elements;
    while (!elements.empty()) {
        const std::size_t nameEnd = elements.find('\0');
        const std::size_t valueEnd = nameEnd == std::string_view::npos ? nameEnd : elements.find('\0', nameEnd + 1);
        if (valueEnd == std::string_view::npos)
            break;  // a cut pair ends the elements
        if (elements.substr(0, nameEnd) == "response-head")
            ParseResponseHead(elements.substr(nameEnd + 1, valueEnd - nameEnd - 1), "\r\n", response);
        elements.remove_prefix(valueEnd + 1);
    }
    return true;
}

void SetBody(CacheFiles& files, const Place& place, std::uint32_t length, IndexedCacheEntry& entry)
{
    BodySegment segment;
    segment.file = files.PathOf(place.file);
    segment.offset = place.offset;
    segment.length = length;
    entry.response.body = {segment};
    entry.bodyFile = place.file;
    entry.bodyOffset = place.offset;
    entry.bodyInSharedFile = IsBlockFile(place.file);
}

// Reads the metadata entry at place; a separate file is compared with its
// bound before it is opened and let go of after, so a cache of many large
// entries does not keep them all open.
bool ReadMetadataAt(CacheFiles& files, const Place& place, Metadata& out)
{
    const bool separate = !IsBlockFile(place.file);
    if (separate && place.capacity > kCache1MaxSeparateMetadataBytes)
        return false;
    const ByteSource* file = files.Open(place.file);
    const bool read = file != nullptr && ReadMetadata(*file, place.offset, place.capacity, out);
    if (separate)
        files.Close(place.file);
    return read;
}

// The file a location names, for a note of its damage: its block file, or
// the separate file's name of today's layout.
std::string LocationFileName(std::uint32_t hash, std::uint32_t location, char kind)
{
    const std::uint32_t selector = (location & kLocationSelectorMask) >> kLocationSelectorShift;
    return selector == 0 ? SeparateFileNames(hash, kind, location & kGenerationMask).front() : BlockFileName(selector);
}

bool RecordEntry(CacheFiles& files, std::uint32_t version, const Cache1Record& record, IndexedCacheEntry& entry,
                 DamagedEntries* damaged)
{
    const auto damage = [&](std::uint32_t location, char kind, const char* why) {
        if (damaged != nullptr)
            damaged->Note(LocationFileName(record.hash, location, kind), why);
        return false;
    };
    Place meta;
    Metadata metadata;
    if (!LocationPlace(files, version, record.hash, record.metaLocation, 'm', meta))
        return damage(record.metaLocation, 'm', "metadata location outside its file");
    if (!ReadMetadataAt(files, meta, metadata))
        return damage(record.metaLocation, 'm', "no metadata entry at its location");
    if (!MetadataResponse(metadata, entry.response))
        return false;
    entry.time = metadata.lastModified;
    if (metadata.dataSize == 0)
        return true;
    Place data;
    if (!LocationPlace(files, version, record.hash, record.dataLocation, 'd', data))
        return damage(record.dataLocation, 'd', "data location outside its file");
    if (metadata.dataSize > data.capacity)
        return damage(record.dataLocation, 'd', "data longer than its location");
    SetBody(files, data, metadata.dataSize, entry);
    return true;
}

// For an entry found without a record: its body from the separate data file
// of its hash whose length the metadata gives, the one named like its
// metadata file first, then the generations Firefox gives first.
void RecoverBody(CacheFiles& files, std::uint32_t version, std::uint32_t hash, const std::string& dataName,
                 const Metadata& metadata, IndexedCacheEntry& entry)
{
    if (metadata.dataSize == 0)
        return;
    if (!dataName.empty()) {
        if (const auto size = files.SizeOf(dataName); size && *size == metadata.dataSize) {
            SetBody(files, {dataName, 0, *size}, metadata.dataSize, entry);
            return;
        }
    }
    for (std::uint32_t generation = 0; generation <= kRecoveryGenerations; ++generation) {
        Place data;
        if (LocationPlace(files, version, hash, kLocationInitialized | generation, 'd', data) &&
            data.capacity == metadata.dataSize) {
            SetBody(files, data, metadata.dataSize, entry);
            return;
        }
    }
}

// The entries whose metadata Firefox kept in separate files, being too large
// for four blocks (long keys or response heads). A file counts when its name
// has the shape of one and spells the hash of the key it holds.
void RecoverSeparateEntries(CacheFiles& files, std::uint32_t version, std::vector<IndexedCacheEntry>& entries,
                            std::unordered_set<std::string>& keys)
{
    for (const std::string& name : files.ListNames(kMaxRecords)) {
        if (entries.size() >= kMaxRecords)
            return;
        const std::optional<SeparateMetadataName> parsed = ParseSeparateMetadataName(name);
        if (!parsed)
            continue;
        const std::optional<std::uint64_t> size = files.SizeOf(name);
        Metadata metadata;
        IndexedCacheEntry entry;
        if (!size || !ReadMetadataAt(files, {name, 0, *size}, metadata) ||
            Cache1KeyHash(metadata.key) != parsed->hash || keys.count(metadata.key) != 0 ||
            !MetadataResponse(metadata, entry.response))
            continue;
        entry.time = metadata.lastModified;
        RecoverBody(files, version, parsed->hash, parsed->dataName, metadata, entry);
        keys.insert(std::move(metadata.key));
        entries.push_back(std::move(entry));
    }
}

// The metadata entries of the block files, block by block; one whose key a
// separate file gave is a copy left from before it grew.
void RecoverBlockEntries(CacheFiles& files, std::uint32_t version, std::vector<IndexedCacheEntry>& entries,
                         const std::unordered_set<std::string>& keys)
{
    for (std::uint32_t selector = 1; selector <= 3; ++selector) {
        const ByteSource* file = files.Open(BlockFileName(selector));
        if (file == nullptr)
            continue;
        const std::uint64_t bitmap = BitmapBytes(version, selector), block = BlockSize(selector);
        for (std::uint64_t offset = bitmap; offset < file->Size() && entries.size() < kMaxRecords;) {
            Metadata metadata;
            IndexedCacheEntry entry;
            const std::uint64_t capacity = std::min<std::uint64_t>(4 * block, file->Size() - offset);
            if (!ReadMetadata(*file, offset, capacity, metadata) || !MetadataResponse(metadata, entry.response)) {
                offset += block;
                continue;
            }
            const std::uint64_t used = kEntryHeaderSize + metadata.key.size() + 1 + metadata.elements.size();
            offset += (used + block - 1) / block * block;
            if (keys.count(metadata.key) != 0)
                continue;
            entry.time = metadata.lastModified;
            RecoverBody(files, version, Cache1KeyHash(metadata.key), {}, metadata, entry);
            entries.push_back(std::move(entry));
        }
    }
}

// For a map whose records were never written: the entries are searched for
// in the separate metadata files and the block files, each listed once.
void RecoverEntries(CacheFiles& files, std::uint32_t version, std::vector<IndexedCacheEntry>& entries)
{
    std::unordered_set<std::string> keys;
    RecoverSeparateEntries(files, version, entries, keys);
    RecoverBlockEntries(files, version, entries, keys);
}

void Mix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c)
{
    a -= b;
    a -= c;
    a ^= (c >> 13);
    b -= c;
    b -= a;
    b ^= (a << 8);
    c -= a;
    c -= b;
    c ^= (b >> 13);
    a -= b;
    a -= c;
    a ^= (c >> 12);
    b -= c;
    b -= a;
    b ^= (a << 16);
    c -= a;
    c -= b;
    c ^= (b >> 5);
    a -= b;
    a -= c;
    a ^= (c >> 3);
    b -= c;
    b -= a;
    b ^= (a << 10);
    c -= a;
    c -= b;
    c ^= (b >> 15);
}

}  // namespace

const char* ToString(Cache1Result result)
{
    switch (result) {
        case Cache1Result::Ok:
            return "ok";
        case Cache1Result::TooShort:
            return "too short";
        case Cache1Result::BadVersion:
            return "bad version";
        case Cache1Result::ReadFailed:
            return "read failed";
    }
    return "?";
}

std::uint32_t Cache1KeyHash(std::string_view key)
{
    const auto* k = reinterpret_cast<const unsigned char*>(key.data());
    std::uint32_t a = 0x9e3779b9, b = a, c = 0;
    std::size_t left = key.size();
    const auto word = [](const unsigned char* p) {
        return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
    };
    for (; left >= 12; left -= 12, k += 12) {
        a += word(k);
        b += word(k + 4);
        c += word(k + 8);
        Mix(a, b, c);
    }
    c += static_cast<std::uint32_t>(key.size());
    for (std::size_t i = 0; i < left; ++i) {
        const std::uint32_t byte = k[i];
        if (i < 4)
            a += byte << (8 * i);
        else if (i < 8)
            b += byte << (8 * (i - 4));
        else
            c += byte << (8 * (i - 7));  // the low byte of c holds the length
    }
    Mix(a, b, c);
    return c;
}

std::string Cache1KeyUrl(std::string_view key)
{
    const std::size_t colon = key.find(':');
    if (colon == std::string_view::npos)
        return {};
    std::string_view url = key.substr(colon + 1);
    if (url.rfind("id=", 0) == 0) {
        const std::size_t uri = url.find("&uri=");
        url = uri == std::string_view::npos ? std::string_view() : url.substr(uri + 5);
    }
    return url.find("://") == std::string_view::npos ? std::string() : std::string(url);
}

Cache1Result ParseCache1Map(const ByteSource& map, Cache1Map& out)
{
    out = Cache1Map();
    std::string header;
    if (!map.Read(0, kMapHeaderSize, header))
        return map.Size() < kMapHeaderSize ? Cache1Result::TooShort : Cache1Result::ReadFailed;
    out.version = LoadBe32(header.data());
    if (out.version >> 16 != kMajorVersion)
        return Cache1Result::BadVersion;
    const auto recordCount = static_cast<std::int32_t>(LoadBe32(header.data() + 16));
    if (recordCount <= 0 || recordCount % kBuckets != 0 || std::uint32_t(recordCount) > kMaxRecords ||
        std::uint64_t(recordCount) * kRecordSize > map.Size() - kMapHeaderSize)
        return Cache1Result::Ok;  // no records written
    std::string records;
    if (!map.Read(kMapHeaderSize, std::size_t(recordCount) * kRecordSize, records))
        return Cache1Result::ReadFailed;
    const std::uint32_t perBucket = std::uint32_t(recordCount) / kBuckets;
    std::set<std::pair<std::uint32_t, std::uint32_t>> seen;
    for (std::uint32_t bucket = 0; bucket < kBuckets; ++bucket) {
        const std::uint32_t used = std::min(perBucket, LoadBe32(header.data() + 148 + 4 * bucket));
        for (std::uint32_t i = 0; i < used; ++i) {
            const char* at = records.data() + std::size_t(bucket * perBucket + i) * kRecordSize;
            const Cache1Record record{LoadBe32(at), LoadBe32(at + 4), LoadBe32(at + 8), LoadBe32(at + 12)};
            if (record.hash != 0 && seen.insert({record.hash, record.metaLocation}).second)
                out.records.push_back(record);
        }
    }
    return Cache1Result::Ok;
}

Cache1Result ReadFirefoxCache1(CacheFiles& files, std::vector<IndexedCacheEntry>& entries, DamagedEntries* damaged)
{
    entries.clear();
    const ByteSource* file = files.Open("_CACHE_MAP_");
    if (file == nullptr)
        return Cache1Result::ReadFailed;
    Cache1Map map;
    if (const auto result = ParseCache1Map(*file, map); result != Cache1Result::Ok)
        return result;
    for (const Cache1Record& record : map.records) {
        IndexedCacheEntry entry;
        if (RecordEntry(files, map.version, record, entry, damaged))
            entries.push_back(std::move(entry));
    }
    if (map.records.empty())
        RecoverEntries(files, map.version, entries);
    std::stable_sort(entries.begin(), entries.end(),
                     [](const IndexedCacheEntry& a, const IndexedCacheEntry& b) { return a.time < b.time; });
    return Cache1Result::Ok;
}

bool IsCache1Folder(const std::filesystem::path& folder)
{
    FileByteSource map(folder / "_CACHE_MAP_");
    std::string version;
    return map.IsOpen() && map.Read(0, 4, version) && LoadBe32(version.data()) >> 16 == kMajorVersion;
}

}  // namespace tessaro
