#include "platform/cachewalk/SeparateBodyStarts.h"

#include "formats/urlcache/ChromiumBlockFileFormat.h"
#include "platform/cachewalk/MovieBody.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <thread>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

BlockFileEntry EntryWithBody(std::uint32_t address)
{
    BlockFileEntry entry;
    entry.dataSize[1] = 1;
    entry.dataAddress[1] = address;
    return entry;
}

BlockFileEntry SeparateEntry(std::uint32_t number)
{
    return EntryWithBody(blockfile::kAddressInitialized | (blockfile::kTypeSeparateFile << 28) | number);
}

// The starts of separate files found a step at a time, one asked for again,
// read partly by the reader's own thread and the rest by two callers at
// once, whatever stands in a file's place.
TEST(SeparateBodyStartsTest, ReadsTheStartOfEverySeparateFileWhateverStandsThere)
{
    const test::TempDir dir;
    dir.write("f_000001", "FWS" + std::string(400, 'm'));
    dir.write("f_000002", "abc");
    fs::create_directory(dir.path() / "f_000004");
    fs::create_symlink(dir.path() / "f_000001", dir.path() / "f_000005");
    constexpr std::uint32_t kMany = 2 * 64 + 3;  // past two batches
    for (std::uint32_t number = 0x100; number <= 0x100 + kMany; ++number)
        dir.write(BlockFileBodyName(true, number), std::to_string(number));
    const FolderCacheFiles files(dir.path(), 0);
    SeparateBodyStarts starts(files, nullptr, 5 + kMany);
    starts.Add(std::vector{SeparateEntry(1), SeparateEntry(2), SeparateEntry(3), EntryWithBody(0xA0010000)});
    std::vector<BlockFileEntry> many{SeparateEntry(4), SeparateEntry(5), SeparateEntry(1)};
    for (std::uint32_t number = 0x100; number <= 0x100 + kMany; ++number)
        many.push_back(SeparateEntry(number));  // the last one past the bound
    starts.Add(many);
    {
        std::jthread other([&starts] { starts.ReadRest(); });
        starts.ReadRest();
    }
    const struct {
        std::uint32_t number;
        bool asked;
        bool opened;
        std::uint64_t size;
        std::string bytes;
    } rows[] = {
        {1, true, true, 403, ("FWS" + std::string(400, 'm')).substr(0, kShortCodedPrefixLength)},
        {2, true, true, 3, "abc"},
        {3, true, false, 0, ""},         // missing
        {4, true, false, 0, ""},         // a folder
        {5, true, false, 0, ""},         // a link
        {0x10000, false, false, 0, ""},  // a body in a block file
        {0x100, true, true, 3, "256"},
        {0x100 + kMany - 1, true, true, 3, std::to_string(0x100 + kMany - 1)},
        {0x100 + kMany, false, false, 0, ""},  // one past the files read ahead
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.number);
        const SeparateBodyStarts::Start* start = starts.Find(row.number);
        ASSERT_EQ(start != nullptr, row.asked);
        if (start == nullptr)
            continue;
        EXPECT_EQ(start->opened, row.opened);
        EXPECT_EQ(start->size, row.size);
        EXPECT_EQ(start->bytes, row.bytes);
    }
    for (std::uint32_t number = 0x100; number < 0x100 + kMany; ++number)
        EXPECT_NE(starts.Find(number), nullptr) << number;
}

// A cancelled walk reads no more, and one that ends before its looks (a
// fault) lets the reader go without reading what is left.
TEST(SeparateBodyStartsTest, StopsWhenCancelledOrLeftBeforeTheLooks)
{
    const test::TempDir dir;
    const FolderCacheFiles files(dir.path(), 0);
    std::vector<BlockFileEntry> entries;
    for (std::uint32_t number = 1; number <= 2000; ++number)
        entries.push_back(SeparateEntry(number));
    std::atomic<bool> cancelled{true};
    SeparateBodyStarts starts(files, &cancelled);
    starts.Add(entries);
    starts.ReadRest();
    EXPECT_EQ(starts.Find(1), nullptr);
    SeparateBodyStarts left(files, nullptr);
    left.Add(entries);
}

}  // namespace
}  // namespace tessaro
