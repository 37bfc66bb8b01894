#include "platform/core/RegularFile.h"

#include "support/TempDir.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

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
    fs::create_symlink(dir.path() / "exact", dir.path() / "link");
    fs::create_directory(dir.path() / "folder");
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
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

}  // namespace
}  // namespace tessaro
