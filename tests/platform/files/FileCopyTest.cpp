#include "platform/files/FileCopy.h"

#include "support/TempDir.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/resource.h>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::set<std::string> Names(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

TEST(FileCopy, CopiesIntoANewTargetAndReplacesAnOldOneLeavingNoTemporaryFile)
{
    TempDir dir;
    const auto source = dir.write("cache/movie.swf", std::string(200000, 'F'));
    const auto target = dir.path() / "out" / "movie.swf";
    fs::create_directories(target.parent_path());

    EXPECT_EQ(CopyFileReplacing(source.string(), target.string()), FileCopyResult::Copied);
    EXPECT_EQ(TempDir::read(target), std::string(200000, 'F'));

    dir.write("cache/movie.swf", "CWS new");
    EXPECT_EQ(CopyFileReplacing(source.string(), target.string()), FileCopyResult::Copied);
    EXPECT_EQ(TempDir::read(target), "CWS new");
    EXPECT_EQ(Names(target.parent_path()), std::set<std::string>{"movie.swf"});
}

TEST(FileCopy, AFileCopiedOntoItselfKeepsItsBytes)
{
    TempDir dir;
    const auto file = dir.write("movie.swf", "FWS self");
    EXPECT_EQ(CopyFileReplacing(file.string(), file.string()), FileCopyResult::Copied);
    EXPECT_EQ(TempDir::read(file), "FWS self");
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"movie.swf"});
}

TEST(FileCopy, ATargetNameAtTheLengthLimitStillCopies)
{
    TempDir dir;
    const std::string longName(251, 'm');
    const auto source = dir.write("a/" + longName + ".swf", "FWS");
    fs::create_directories(dir.path() / "b");
    const auto target = dir.path() / "b" / (longName + ".swf");
    EXPECT_EQ(CopyFileReplacing(source.string(), target.string()), FileCopyResult::Copied);
    EXPECT_EQ(TempDir::read(target), "FWS");
}

// Every way a copy can fail leaves the old target as it was and no stray file.
TEST(FileCopy, FailuresLeaveTheOldTargetAndNoTemporaryFile)
{
    TempDir dir;
    const auto source = dir.write("cache/movie.swf", "FWS new");
    const auto out = dir.path() / "out";
    fs::create_directories(out / "folder.swf" / "inside");
    dir.write("out/movie.swf", "old");
    dir.write("plain-file", "not a folder");

    struct Row {
        const char* name;
        std::string source;
        std::string target;
        FileCopyResult expected;
    };
    const Row rows[] = {
        {"missing source", (dir.path() / "cache/gone.swf").string(), (out / "movie.swf").string(),
         FileCopyResult::SourceUnreadable},
        {"source is a folder", (dir.path() / "cache").string(), (out / "movie.swf").string(),
         FileCopyResult::SourceUnreadable},
        // Root ignores permission bits, but nobody can make a file under a regular file.
        {"folder is a regular file", source.string(), (dir.path() / "plain-file" / "movie.swf").string(),
         FileCopyResult::TargetUnwritable},
        {"folder does not exist", source.string(), (dir.path() / "nowhere" / "movie.swf").string(),
         FileCopyResult::TargetUnwritable},
        {"target is a folder with files", source.string(), (out / "folder.swf").string(),
         FileCopyResult::ReplaceFailed},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CopyFileReplacing(row.source, row.target), row.expected) << row.name;
        EXPECT_EQ(TempDir::read(out / "movie.swf"), "old") << row.name;
        EXPECT_EQ(Names(out), (std::set<std::string>{"folder.swf", "movie.swf"})) << row.name;
        EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"cache", "out", "plain-file"})) << row.name;
    }
}

// A file-size limit makes writes fail part-way, as a full disk would.
TEST(FileCopy, AWriteThatBreaksOffKeepsTheOldTarget)
{
    TempDir dir;
    const auto source = dir.write("cache/big.swf", std::string(1 << 20, 'C'));
    const auto target = dir.write("out/big.swf", "old");

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileCopyResult result = CopyFileReplacing(source.string(), target.string());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, FileCopyResult::WriteFailed);
    EXPECT_EQ(TempDir::read(target), "old");
    EXPECT_EQ(Names(target.parent_path()), std::set<std::string>{"big.swf"});
}

// A stop is seen within one block wherever it comes, and the copy reads no
// further: keepGoing is asked exactly as often as the stop point says.
TEST(FileCopy, AStopAtAnyBlockKeepsTheOldTargetAndReadsNoFurther)
{
    constexpr int kBlocks = 5;
    TempDir dir;
    const auto source = dir.write("cache/big.swf", std::string(kBlocks * kFileCopyBlockBytes, 'C'));
    const auto target = dir.write("out/big.swf", "old");

    struct Row {
        const char* name;
        int answeredYes;  // calls of keepGoing answered true before the stop
    };
    // One call before each of the five blocks, one at the end of the file and
    // one before the target is replaced.
    const Row rows[] = {{"before the first block", 0},
                        {"after two blocks", 2},
                        {"at the end of the file", kBlocks},
                        {"before the target is replaced", kBlocks + 1}};
    for (const Row& row : rows) {
        int calls = 0;
        const FileCopyResult result =
            CopyFileReplacing(source.string(), target.string(), [&] { return calls++ < row.answeredYes; });
        EXPECT_EQ(result, FileCopyResult::Stopped) << row.name;
        EXPECT_EQ(calls, row.answeredYes + 1) << row.name;
        EXPECT_EQ(TempDir::read(target), "old") << row.name;
        EXPECT_EQ(Names(target.parent_path()), std::set<std::string>{"big.swf"}) << row.name;
    }
    int calls = 0;
    EXPECT_EQ(CopyFileReplacing(source.string(), target.string(), [&] { return ++calls > 0; }), FileCopyResult::Copied);
    EXPECT_EQ(calls, kBlocks + 2);
}

}  // namespace
}  // namespace tessaro
