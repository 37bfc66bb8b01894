#include "platform/core/RegularFile.h"

#include "platform/core/BatchedReads.h"
#include "support/TempDir.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

// What may stand where another program's file was expected: a link to
// target, a folder and a FIFO.
void MakeNonRegularFiles(const test::TempDir& dir, const char* target)
{
    fs::create_symlink(dir.path() / target, dir.path() / "link");
    fs::create_directory(dir.path() / "folder");
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
}

// Whatever stands where a file of another program was expected: only a
// regular file is read, nothing waits, and a file one byte past the bound is
// refused with the bound's worth of it.
TEST(RegularFileTest, ReadsOnlyARegularFileAndAtMostTheBound)
{
    const test::TempDir dir;
    constexpr std::size_t kBound = 10;
    dir.write("exact", std::string(kBound, 'e'));
    dir.write("past", std::string(kBound + 1, 'p'));
    dir.write("empty", "");
    MakeNonRegularFiles(dir, "exact");
    const struct {
        const char* name;
        RegularFileResult result;
        std::string bytes;
    } rows[] = {
        {"exact", RegularFileResult::Ok, std::string(kBound, 'e')},
        {"past", RegularFileResult::TooLarge, std::string(kBound, 'p')},
        {"empty", RegularFileResult::Ok, ""},
        {"link", RegularFileResult::NotRegular, ""},
        {"folder", RegularFileResult::NotRegular, ""},
        {"fifo", RegularFileResult::NotRegular, ""},
        {"missing", RegularFileResult::Missing, ""},
        {"missing/below", RegularFileResult::Missing, ""},
        {"exact/below", RegularFileResult::Missing, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto read = std::async(std::launch::async, [&] {
            std::string bytes = "left over";
            const RegularFileResult result = ReadRegularFile(dir.path() / row.name, kBound, bytes);
            return std::make_pair(result, bytes);
        });
        if (read.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << "the open waits";
            ::close(::open((dir.path() / "fifo").c_str(), O_RDWR | O_NONBLOCK));  // let it go
        }
        const auto [result, bytes] = read.get();
        EXPECT_EQ(result, row.result) << ToString(result);
        EXPECT_EQ(bytes, row.bytes);
    }
}

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
    MakeNonRegularFiles(dir, "long");
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
