#include "platform/core/BatchedReads.h"

#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

std::size_t OpenDescriptors()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// Both ways (the ring where the kernel gives one, and one call each) give
// the same as OpenRegularFile over whatever stands in a folder, in batches
// of every kind mixed, one past a whole batch, and leave no descriptor open.
TEST(BatchedReadsTest, BothWaysReadOnlyRegularFilesAndCloseEveryOne)
{
    const test::TempDir dir;
    constexpr std::size_t kWanted = 256;
    dir.write("long", std::string(300, 'l'));
    dir.write("exact", std::string(kWanted, 'e'));
    dir.write("short", "short");
    dir.write("empty", "");
    fs::create_symlink(dir.path() / "long", dir.path() / "link");
    fs::create_directory(dir.path() / "folder");
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    const struct {
        const char* name;
        RegularFileResult result;
        std::uint64_t size;
        std::string bytes;
    } rows[] = {
        {"long", RegularFileResult::Ok, 300, std::string(kWanted, 'l')},
        {"exact", RegularFileResult::Ok, kWanted, std::string(kWanted, 'e')},
        {"short", RegularFileResult::Ok, 5, "short"},
        {"empty", RegularFileResult::Ok, 0, ""},
        {"link", RegularFileResult::NotRegular, 0, ""},
        {"folder", RegularFileResult::NotRegular, 0, ""},
        {"fifo", RegularFileResult::NotRegular, 0, ""},
        {"missing", RegularFileResult::Missing, 0, ""},
        {"short/below", RegularFileResult::Missing, 0, ""},
    };
    constexpr std::size_t kRows = std::size(rows);
    const std::size_t count = 2 * BatchedReads::kBatchFiles + 1;
    const Descriptor folder(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(folder.Valid());
    for (const bool ring : {true, false}) {
        SCOPED_TRACE(ring ? "ring" : "plain");
        const std::size_t before = OpenDescriptors();
        BatchedReads reader(ring);
        if (ring && !reader.UsesRing())
            std::printf("io_uring is not available here: both ways read plainly\n");
        std::vector<char> room(count * kWanted);
        std::vector<FileStart> starts(count);
        for (std::size_t at = 0; at < count; ++at)
            starts[at] = {rows[at % kRows].name, kWanted, room.data() + at * kWanted};
        reader.ReadStarts(folder.Get(), starts);
        for (std::size_t at = 0; at < count; ++at) {
            const auto& row = rows[at % kRows];
            SCOPED_TRACE(std::string(row.name) + " at " + std::to_string(at));
            EXPECT_EQ(starts[at].result, row.result) << ToString(starts[at].result);
            EXPECT_EQ(starts[at].size, row.size);
            EXPECT_EQ(std::string(starts[at].out, starts[at].got), row.bytes);
        }
        EXPECT_EQ(OpenDescriptors(), before + (reader.UsesRing() ? 1 : 0));
    }
}

}  // namespace
}  // namespace tessaro
