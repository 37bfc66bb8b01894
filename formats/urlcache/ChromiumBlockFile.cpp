#include "formats/urlcache/ChromiumBlockFile.h"

#include "formats/urlcache/ChromiumBlockFileFormat.h"
#include "formats/urlcache/ChromiumResponseInfo.h"
#include "formats/urlcache/PieceReads.h"
#include "platform/core/ByteOrder.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <numeric>
#include <tuple>

namespace tessaro {

namespace {

using namespace blockfile;

// Keys and response heads longer than these are damage.
constexpr std::uint32_t kMaxKeyLength = 64 * 1024;
constexpr std::uint32_t kMaxResponseInfo = 1u << 20;

std::uint32_t BlockSizeOf(std::uint32_t type)
{
    switch (type) {
        case kTypeRankings:
            return 36;
        case 2:
            return 256;
        case 3:
            return 1024;
        case kTypeBlock4K:
            return 4096;
        default:
            return 0;
    }
}

std::string SeparateFileName(std::uint32_t number)
{
    char name[16];
    std::snprintf(name, sizeof name, "f_%06x", number);
    return name;
}

std::string BlockFileName(std::uint32_t number)
{
    return "data_" + std::to_string(number);
}

// An address of a body or key kept in a file of its own, f_<number>.
bool IsSeparateFileAddress(std::uint32_t address)
{
    return (address & kAddressInitialized) && ((address >> 28) & 7) == kTypeSeparateFile;
}

// The <number> of such an address's f_<number>.
std::uint32_t SeparateFileNumber(std::uint32_t address)
{
    return address & 0x0fffffff;
}

// Where the bytes an address names lie: a file of the cache (by number, its
// name only made when asked for), an offset in it and how many bytes the
// address holds at most; a block file's source.
struct Place {
    bool separate = false;
    std::uint32_t number = 0;  // of data_<n>, or of f_<n> when separate
    std::uint64_t offset = 0;
    std::uint64_t capacity = 0;
    const ByteSource* source = nullptr;

    std::string Name() const { return BlockFileBodyName(separate, number); }
};

// The file an address names: a separate file, a block file, else the
// entry's own block file.
std::string AddressFileName(std::uint32_t address, std::uint32_t entryAddress)
{
    if (IsSeparateFileAddress(address))
        return SeparateFileName(SeparateFileNumber(address));
    if ((address & kAddressInitialized) && BlockSizeOf((address >> 28) & 7) != 0)
        return BlockFileName((address >> 16) & 0xff);
    return BlockFileName((entryAddress >> 16) & 0xff);
}

void NoteDamage(DamagedEntries* damaged, std::uint32_t address, std::uint32_t entryAddress, const std::string& why)
{
    if (damaged == nullptr)
        return;
    damaged->Note(AddressFileName(address, entryAddress), why);
}

// The block size a block file's header gives; 0 when it is none.
std::uint32_t HeaderBlockSize(const ByteSource& file)
{
    std::string header;
    if (file.Size() < kBlockHeaderSize || !file.Read(0, 16, header) || LoadLe32(header.data()) != kBlockMagic)
        return 0;
    return LoadLe32(header.data() + 12);
}

// The cache's files, with its block files by number. Each block file is
// opened and its header checked once, while the index is read; the
// responses, read on several threads, only look them up.
class Blocks {
public:
    // Opening: may open block files, on one thread.
    Blocks(CacheFiles& files, BlockFileTable& table) : files(files), table_(table), writable_(&table) {}
    // Looking up: only the block files opened before.
    Blocks(CacheFiles& files, const BlockFileTable& table) : files(files), table_(table) {}

    void Open(std::uint32_t address)
    {
        if (writable_ == nullptr || !(address & kAddressInitialized) || IsSeparateFileAddress(address))
            return;
        const std::uint32_t number = (address >> 16) & 0xff;
        if (writable_->opened[number])
            return;
        writable_->opened[number] = true;
        const ByteSource* file = files.Open(BlockFileName(number));
        writable_->files[number] = file;
        writable_->blockSizes[number] = file == nullptr ? 0 : HeaderBlockSize(*file);
    }

    const ByteSource* File(std::uint32_t number, std::uint32_t blockSize, BlockFileResult& result) const
    {
        const ByteSource* file = table_.files[number];
        if (file == nullptr)
            result = BlockFileResult::ReadFailed;
        else if (table_.blockSizes[number] != blockSize)
            result = BlockFileResult::BadMagic;
        else
            return file;
        return nullptr;
    }

    CacheFiles& files;

private:
    const BlockFileTable& table_;
    BlockFileTable* writable_ = nullptr;
};

// The place of a block address; false for any other address or one whose
// blocks lie outside their file.
BlockFileResult BlockPlace(Blocks& blocks, std::uint32_t address, Place& place)
{
    if (!(address & kAddressInitialized))
        return BlockFileResult::BadAddress;
    const std::uint32_t type = (address >> 28) & 7;
    const std::uint32_t blockSize = BlockSizeOf(type);
    if (blockSize == 0)
        return BlockFileResult::BadAddress;
    const std::uint32_t number = (address >> 16) & 0xff;
    blocks.Open(address);
    BlockFileResult result = BlockFileResult::Ok;
    const ByteSource* file = blocks.File(number, blockSize, result);
    if (file == nullptr)
        return result;
    place.separate = false;
    place.number = number;
    place.source = file;
    const std::uint64_t count = ((address >> 24) & 3) + 1;
    place.offset = kBlockHeaderSize + std::uint64_t(address & 0xffff) * blockSize;
    place.capacity = count * blockSize;
    if (place.offset > file->Size() || place.capacity > file->Size() - place.offset)
        return BlockFileResult::BadAddress;
    return BlockFileResult::Ok;
}

// The place of a stream of length bytes: blocks or a separate file.
BlockFileResult StreamPlace(Blocks& blocks, std::uint32_t address, std::uint64_t length, Place& place)
{
    if (IsSeparateFileAddress(address)) {
        place.separate = true;
        place.number = SeparateFileNumber(address);
        place.offset = 0;
        place.source = nullptr;
        const std::optional<std::uint64_t> size = blocks.files.SizeOf(place.Name());
        if (!size)
            return BlockFileResult::ReadFailed;
        place.capacity = *size;
    } else if (const auto result = BlockPlace(blocks, address, place); result != BlockFileResult::Ok) {
        return result;
    }
    return length <= place.capacity ? BlockFileResult::Ok : BlockFileResult::BadEntry;
}

// A stream's bytes: in place when its file is held in memory, else read into copy.
BlockFileResult ReadStream(Blocks& blocks, const BlockFileEntry& entry, int stream, std::uint32_t limit,
                           std::string& copy, std::string_view& bytes)
{
    bytes = {};
    const std::uint32_t length = entry.dataSize[std::size_t(stream)];
    if (length == 0)
        return BlockFileResult::Ok;
    if (length > limit)
        return BlockFileResult::BadEntry;
    Place place;
    if (const auto result = StreamPlace(blocks, entry.dataAddress[std::size_t(stream)], length, place);
        result != BlockFileResult::Ok)
        return result;
    const ByteSource* file = place.source != nullptr ? place.source : blocks.files.Open(place.Name());
    if (file == nullptr)
        return BlockFileResult::ReadFailed;
    if (const auto view = file->View(place.offset, length)) {
        bytes = *view;
        return BlockFileResult::Ok;
    }
    if (!file->Read(place.offset, length, copy))
        return BlockFileResult::ReadFailed;
    bytes = copy;
    return BlockFileResult::Ok;
}

BlockFileResult ReadKey(Blocks& blocks, std::string_view record, std::uint32_t longKey, BlockFileEntry& entry)
{
    const std::uint32_t keyLength = LoadLe32(record.data() + 32);
    if (keyLength == 0 || keyLength > kMaxKeyLength)
        return BlockFileResult::BadEntry;
    if (longKey == 0) {
        if (keyLength >= record.size() - kEntryKeyOffset)
            return BlockFileResult::BadEntry;
        entry.key.assign(record.substr(kEntryKeyOffset, keyLength));
        return BlockFileResult::Ok;
    }
    Place place;
    if (const auto result = StreamPlace(blocks, longKey, keyLength, place); result != BlockFileResult::Ok)
        return result;
    const ByteSource* file = place.source != nullptr ? place.source : blocks.files.Open(place.Name());
    if (file == nullptr || !file->Read(place.offset, keyLength, entry.key))
        return BlockFileResult::ReadFailed;
    return BlockFileResult::Ok;
}

}  // namespace

const char* ToString(BlockFileResult result)
{
    switch (result) {
        case BlockFileResult::Ok:
            return "ok";
        case BlockFileResult::TooShort:
            return "too short";
        case BlockFileResult::BadMagic:
            return "bad magic";
        case BlockFileResult::BadVersion:
            return "bad version";
        case BlockFileResult::BadTable:
            return "bad table";
        case BlockFileResult::BadAddress:
            return "bad address";
        case BlockFileResult::BadEntry:
            return "bad entry";
        case BlockFileResult::ReadFailed:
            return "read failed";
    }
    return "?";
}

namespace {

// The entry whose record is at address, from the record's bytes: its fixed
// part, its key (inline or long).
BlockFileResult ParseBlockFileEntry(Blocks& blocks, std::uint32_t address, std::string_view record,
                                    BlockFileEntry& entry)
{
    entry = BlockFileEntry();
    entry.address = address;
    const char* at = record.data();
    entry.next = LoadLe32(at + 4);
    entry.state = static_cast<std::int32_t>(LoadLe32(at + 20));
    entry.creationTime = LoadLe64(at + 24);
    for (std::size_t i = 0; i < 4; ++i) {
        entry.dataSize[i] = LoadLe32(at + 40 + 4 * i);
        entry.dataAddress[i] = LoadLe32(at + 56 + 4 * i);
    }
    entry.flags = LoadLe32(at + 72);
    return ReadKey(blocks, record, LoadLe32(at + 36), entry);
}

// The entry records a walk of the chains has reached, by block file and
// first block: a chain that comes back to one stops there. An address of
// another type is no record: its reading fails and ends its chain.
class SeenRecords {
public:
    bool Insert(std::uint32_t address)
    {
        if (((address >> 28) & 7) != 2)
            return true;
        std::vector<std::uint64_t>& bits = files_[(address >> 16) & 0xff];
        if (bits.empty())
            bits.resize(kBlocksPerFile / 64);
        const std::uint32_t block = address & 0xffff;
        const std::uint64_t bit = std::uint64_t(1) << (block % 64);
        if (bits[block / 64] & bit)
            return false;
        bits[block / 64] |= bit;
        return true;
    }

private:
    static constexpr std::uint32_t kBlocksPerFile = 1u << 16;
    std::array<std::vector<std::uint64_t>, 256> files_;
};

// A record a chain leads to: the chain's bucket and how far along it lies.
struct ChainLink {
    std::uint32_t address = 0;
    std::uint32_t bucket = 0;
    std::uint32_t depth = 0;
};

// The heads of the hash table's chains, in table order, read in pieces.
BlockFileResult ChainHeads(const ByteSource& index, std::uint32_t tableLength, SeenRecords& seen,
                           std::vector<ChainLink>& heads)
{
    constexpr std::uint32_t kBucketsPerRead = 16 * 1024;
    std::string table;
    for (std::uint32_t first = 0; first < tableLength; first += kBucketsPerRead) {
        const std::uint32_t count = std::min(kBucketsPerRead, tableLength - first);
        if (!index.Read(kIndexHeaderSize + std::uint64_t(first) * 4, std::size_t(count) * 4, table))
            return BlockFileResult::ReadFailed;
        for (std::uint32_t i = 0; i < count && heads.size() < kMaxBlockFileEntries; ++i) {
            const std::uint32_t address = LoadLe32(table.data() + 4 * std::size_t(i));
            if (address != 0 && seen.Insert(address))
                heads.push_back({address, first + i, 0});
        }
    }
    return BlockFileResult::Ok;
}

// Entries found a step of the chain walk at a time, put back in table order:
// bucket by bucket, along each chain (links[i] led to entries[i]).
void PutInTableOrder(std::vector<BlockFileEntry>& entries, const std::vector<ChainLink>& links)
{
    std::vector<std::size_t> byTable(entries.size());
    std::iota(byTable.begin(), byTable.end(), std::size_t(0));
    std::sort(byTable.begin(), byTable.end(), [&](std::size_t a, std::size_t b) {
        return std::tie(links[a].bucket, links[a].depth) < std::tie(links[b].bucket, links[b].depth);
    });
    std::vector<BlockFileEntry> sorted;
    sorted.reserve(entries.size());
    for (const std::size_t i : byTable)
        sorted.push_back(std::move(entries[i]));
    entries = std::move(sorted);
}

// The entries the index's hash table leads to, bucket by bucket along each
// chain (in table order); a chain stops at an entry seen before or one that
// cannot be read. The chains are walked a step at a time, all of them at
// once, so that each step reads the records in the order they lie in their
// files. Ok, or why the index could not be read at all. Every block file
// an entry's streams name is opened here.
BlockFileResult ReadBlockFileEntries(Blocks& blocks, std::vector<BlockFileEntry>& entries, DamagedEntries* damaged,
                                     const BlockFileEntriesFound& found)
{
    entries.clear();
    const ByteSource* index = blocks.files.Open("index");
    if (index == nullptr)
        return BlockFileResult::ReadFailed;
    std::string header;
    if (!index->Read(0, kIndexHeaderSize, header))
        return BlockFileResult::TooShort;
    if (LoadLe32(header.data()) != kIndexMagic)
        return BlockFileResult::BadMagic;
    const std::uint32_t version = LoadLe32(header.data() + 4);
    if (version != 0x20000 && version != 0x20001 && version != 0x30000)
        return BlockFileResult::BadVersion;
    std::uint32_t tableLength = LoadLe32(header.data() + 28);
    if (tableLength == 0)
        tableLength = kDefaultTableLength;
    if ((tableLength & (tableLength - 1)) != 0 || tableLength > (1u << 24) ||
        std::uint64_t(tableLength) * 4 > index->Size() - kIndexHeaderSize)
        return BlockFileResult::BadTable;
    SeenRecords seen;
    std::vector<ChainLink> links;
    if (const auto result = ChainHeads(*index, tableLength, seen, links); result != BlockFileResult::Ok)
        return result;
    // The header's count is only a hint: a hostile one reserves no more than this.
    entries.reserve(std::min<std::size_t>(std::size_t(1) << 16, LoadLe32(header.data() + 8)));
    std::vector<ChainLink> tableOrder;
    while (!links.empty()) {
        struct Step {
            BlockFileResult result = BlockFileResult::ReadFailed;
            BlockFileEntry entry;
        };
        std::vector<Step> steps(links.size());
        std::vector<FilePiece> pieces;
        for (std::size_t i = 0; i < links.size(); ++i) {
            Place place;
            if (((links[i].address >> 28) & 7) != 2)
                steps[i].result = BlockFileResult::BadAddress;
            else if (steps[i].result = BlockPlace(blocks, links[i].address, place);
                     steps[i].result == BlockFileResult::Ok)
                pieces.push_back({place.source, place.offset, static_cast<std::uint32_t>(place.capacity), i});
        }
        // One thread: a long key's file may be opened while the records are read.
        ReadPieces(std::move(pieces), [&](const FilePiece& piece, std::optional<std::string_view> record) {
            Step& step = steps[piece.tag];
            step.result = record ? ParseBlockFileEntry(blocks, links[piece.tag].address, *record, step.entry)
                                 : BlockFileResult::ReadFailed;
        });
        std::vector<ChainLink> next;
        const std::size_t before = entries.size();
        for (std::size_t i = 0; i < links.size(); ++i) {
            if (steps[i].result != BlockFileResult::Ok) {
                NoteDamage(damaged, links[i].address, links[i].address,
                           std::string("entry record: ") + ToString(steps[i].result));
                continue;
            }
            if (entries.size() >= kMaxBlockFileEntries)
                break;
            BlockFileEntry& entry = steps[i].entry;
            for (const std::uint32_t stream : entry.dataAddress)
                blocks.Open(stream);
            if (entry.next != 0 && seen.Insert(entry.next))
                next.push_back({entry.next, links[i].bucket, links[i].depth + 1});
            tableOrder.push_back(links[i]);
            entries.push_back(std::move(entry));
        }
        if (found && entries.size() > before)
            found(std::span<const BlockFileEntry>(entries).subspan(before));
        links = std::move(next);
    }
    PutInTableOrder(entries, tableOrder);
    return BlockFileResult::Ok;
}

using SparsePiece = BlockFileSparsePiece;

// "Range_<parent key>:<signature>:<child number>" → parent key and number.
bool ParseChildKey(const std::string& key, std::string& parent, std::uint64_t& number)
{
    if (key.rfind("Range_", 0) != 0)
        return false;
    const std::size_t last = key.rfind(':');
    if (last == std::string::npos || last < 7)
        return false;
    const std::size_t middle = key.rfind(':', last - 1);
    if (middle == std::string::npos || middle < 6)
        return false;
    const char* digits = key.data() + last + 1;
    const auto [end, error] = std::from_chars(digits, key.data() + key.size(), number, 16);
    if (error != std::errc() || end != key.data() + key.size() || number >= (std::uint64_t(1) << 40))
        return false;
    parent = key.substr(6, middle - 6);
    return true;
}

// The runs of KiB blocks a child's bitmap marks, as pieces of the resource.
void ChildPieces(Blocks& blocks, const BlockFileEntry& child, std::uint64_t number, std::vector<SparsePiece>& pieces)
{
    std::string copy;
    std::string_view index;
    Place data;
    if (ReadStream(blocks, child, 2, kSparseHeaderSize + kSparseBitmapBytes, copy, index) != BlockFileResult::Ok ||
        index.size() < kSparseHeaderSize + kSparseBitmapBytes || LoadLe32(index.data() + 8) != kSparseMagic ||
        StreamPlace(blocks, child.dataAddress[1], child.dataSize[1], data) != BlockFileResult::Ok)
        return;
    const auto lastBlock = static_cast<std::int32_t>(LoadLe32(index.data() + 16));
    const std::uint32_t lastBlockLength = LoadLe32(index.data() + 20);
    const auto marked = [&index](std::uint32_t block) {
        return (static_cast<unsigned char>(index[kSparseHeaderSize + block / 8]) >> (block % 8)) & 1;
    };
    constexpr std::uint32_t kBlocks = kSparseBitmapBytes * 8;
    for (std::uint32_t block = 0; block < kBlocks;) {
        if (!marked(block)) {
            ++block;
            continue;
        }
        const std::uint32_t start = block;
        while (block < kBlocks && marked(block))
            ++block;
        std::uint64_t end = std::uint64_t(block) * kSparseBlockSize;
        if (lastBlock >= 0 && std::uint32_t(lastBlock) == block && lastBlockLength < kSparseBlockSize)
            end += lastBlockLength;
        end = std::min<std::uint64_t>(end, child.dataSize[1]);
        const std::uint64_t begin = std::uint64_t(start) * kSparseBlockSize;
        if (end <= begin)
            continue;
        pieces.push_back({number * kSparseChildSpan + begin, end - begin, data.Name(), data.offset + begin});
    }
}

// The body as segments when the pieces cover [0, total) without a hole.
bool SparseSegments(std::vector<SparsePiece> pieces, std::uint64_t total, CacheFiles& files,
                    std::vector<BodySegment>& body)
{
    body.clear();
    std::sort(pieces.begin(), pieces.end(),
              [](const SparsePiece& a, const SparsePiece& b) { return a.offset < b.offset; });
    std::uint64_t covered = 0;
    for (const SparsePiece& piece : pieces) {
        if (covered >= total)
            break;
        if (piece.offset > covered)
            return false;
        const std::uint64_t end = std::min(piece.offset + piece.length, total);
        if (end <= covered)
            continue;
        BodySegment segment;
        segment.file = files.PathOf(piece.file);
        segment.offset = piece.fileOffset + (covered - piece.offset);
        segment.length = end - covered;
        body.push_back(segment);
        covered = end;
    }
    return total > 0 && covered == total;
}

std::int64_t UnixSeconds(std::uint64_t micros1601)
{
    const auto micros = static_cast<std::int64_t>(std::min<std::uint64_t>(micros1601, INT64_MAX));
    return micros > kUnixEpochMicros ? (micros - kUnixEpochMicros) / 1000000 : 0;
}

// The response of one entry; false when it is none (not HTTP, damaged, a
// sparse body with a hole).
bool EntryResponse(Blocks& blocks, const BlockFileEntry& entry,
                   const std::map<std::string, std::vector<SparsePiece>>& sparse, IndexedCacheEntry& out,
                   DamagedEntries* damaged)
{
    std::string copy;
    std::string_view info;
    CachedResponse& response = out.response;
    CacheFiles& files = blocks.files;
    if (const auto result = ReadStream(blocks, entry, 0, kMaxResponseInfo, copy, info); result != BlockFileResult::Ok) {
        NoteDamage(damaged, entry.dataAddress[0], entry.address, std::string("response info: ") + ToString(result));
        return false;
    }
    if (!ParseChromiumResponseInfo(info, response))
        return false;
    response.url = ChromiumKeyUrl(entry.key);
    out.time = UnixSeconds(entry.creationTime);
    if (entry.dataSize[1] > 0) {
        Place place;
        if (const auto result = StreamPlace(blocks, entry.dataAddress[1], entry.dataSize[1], place);
            result != BlockFileResult::Ok) {
            NoteDamage(damaged, entry.dataAddress[1], entry.address, std::string("body: ") + ToString(result));
            return false;
        }
        BodySegment segment;
        out.bodyFile = place.Name();
        segment.file = files.PathOf(out.bodyFile);
        segment.offset = place.offset;
        segment.length = entry.dataSize[1];
        response.body.push_back(std::move(segment));
        out.bodyOffset = place.offset;
        out.bodyInSharedFile = !IsSeparateFileAddress(entry.dataAddress[1]);
        out.bodySource = place.source;
        return true;
    }
    const auto pieces = sparse.find(entry.key);
    if (!(entry.flags & kParentEntry) || pieces == sparse.end())
        return true;  // an empty body
    const std::uint64_t total = response.rangeTotal.value_or(response.contentLength.value_or(0));
    if (!SparseSegments(pieces->second, total, files, response.body))
        return false;
    out.bodyFile = pieces->second.front().file;
    out.bodyOffset = pieces->second.front().fileOffset;
    out.bodyInSharedFile = out.bodyFile.rfind("data_", 0) == 0;
    return true;
}

}  // namespace

BlockFileResult IndexBlockFileCache(CacheFiles& files, BlockFileIndex& index, DamagedEntries* damaged,
                                    const BlockFileEntriesFound& found)
{
    index = BlockFileIndex();
    Blocks blocks(files, index.blockFiles);
    if (const auto result = ReadBlockFileEntries(blocks, index.entries, damaged, found); result != BlockFileResult::Ok)
        return result;
    const std::vector<BlockFileEntry>& entries = index.entries;
    for (const BlockFileEntry& entry : entries) {
        std::string parent;
        std::uint64_t number = 0;
        if (entry.state == kEntryNormal && ParseChildKey(entry.key, parent, number))
            ChildPieces(blocks, entry, number, index.sparse[parent]);
    }
    std::vector<std::pair<std::uint64_t, std::size_t>> order;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].state == kEntryNormal && !(entries[i].flags & kChildEntry) &&
            entries[i].key.rfind("Range_", 0) != 0)
            order.emplace_back(entries[i].creationTime, i);
    }
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    index.order.reserve(order.size());
    for (const auto& [time, i] : order)
        index.order.push_back(i);
    return BlockFileResult::Ok;
}

bool BlockFileResponse(CacheFiles& files, const BlockFileIndex& index, std::size_t nth, IndexedCacheEntry& out,
                       DamagedEntries* damaged)
{
    out = IndexedCacheEntry();
    Blocks blocks(files, index.blockFiles);
    return nth < index.order.size() &&
           EntryResponse(blocks, index.entries[index.order[nth]], index.sparse, out, damaged);
}

void LookAtBlockFileEntries(CacheFiles& files, const BlockFileIndex& index, const LookAtBlockFileEntry& look,
                            int threads, const std::atomic<bool>* cancelled, const std::function<void()>& then)
{
    Blocks blocks(files, index.blockFiles);
    std::vector<FilePiece> heads;
    heads.reserve(index.order.size());
    for (std::size_t nth = 0; nth < index.order.size(); ++nth) {
        const BlockFileEntry& entry = index.entries[index.order[nth]];
        Place place;
        // A response info in a separate file, or too long, is the full read's.
        if (entry.dataSize[0] != 0 && entry.dataSize[0] <= kMaxPieceBytes &&
            BlockPlace(blocks, entry.dataAddress[0], place) == BlockFileResult::Ok &&
            entry.dataSize[0] <= place.capacity)
            heads.push_back({place.source, place.offset, entry.dataSize[0], nth});
    }
    ReadPieces(
        std::move(heads),
        [&](const FilePiece& piece, std::optional<std::string_view> info) {
            const BlockFileEntry& entry = index.entries[index.order[piece.tag]];
            BlockFileHead out;
            if (!info || !ChromiumResponseHead(*info, out.head, out.truncated))
                return;
            out.key = entry.key;
            out.bodyLength = entry.dataSize[1];
            if (out.bodyLength == 0) {
                if (!(entry.flags & kParentEntry) || index.sparse.find(entry.key) == index.sparse.end())
                    look(piece.tag, out);
                return;
            }
            if (const std::optional<std::uint32_t> number = SeparateBodyFile(entry)) {
                out.bodySeparate = true;
                out.bodyFile = *number;
                look(piece.tag, out);
                return;
            }
            Place place;
            if (BlockPlace(blocks, entry.dataAddress[1], place) != BlockFileResult::Ok ||
                out.bodyLength > place.capacity)
                return;
            out.bodyFile = place.number;
            out.bodyOffset = place.offset;
            out.bodySource = place.source;
            look(piece.tag, out);
        },
        threads, cancelled, then);
}

std::optional<std::uint32_t> SeparateBodyFile(const BlockFileEntry& entry)
{
    if (entry.dataSize[1] == 0 || !IsSeparateFileAddress(entry.dataAddress[1]))
        return std::nullopt;
    return SeparateFileNumber(entry.dataAddress[1]);
}

std::string BlockFileBodyName(bool separate, std::uint32_t number)
{
    return separate ? SeparateFileName(number) : BlockFileName(number);
}

BlockFileResult ReadBlockFileCache(CacheFiles& files, std::vector<IndexedCacheEntry>& out, DamagedEntries* damaged)
{
    out.clear();
    BlockFileIndex index;
    if (const auto result = IndexBlockFileCache(files, index, damaged); result != BlockFileResult::Ok)
        return result;
    for (std::size_t nth = 0; nth < index.order.size(); ++nth) {
        IndexedCacheEntry indexed;
        if (BlockFileResponse(files, index, nth, indexed, damaged))
            out.push_back(std::move(indexed));
    }
    return BlockFileResult::Ok;
}

bool IsBlockFileCacheFolder(const std::filesystem::path& folder)
{
    FileByteSource index(folder / "index");
    std::string magic;
    return index.IsOpen() && index.Read(0, 4, magic) && LoadLe32(magic.data()) == kIndexMagic;
}

}  // namespace tessaro
