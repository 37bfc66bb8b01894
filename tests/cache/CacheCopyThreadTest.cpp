#include "cache/CacheCopyThread.h"

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QObject>

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WaitUntil;

// What a run showed: the reports in the order they arrived, then the end.
struct CopyRun {
    std::vector<int> percents;
    std::vector<std::string> texts;
    bool ended = false;
    bool reportAfterEnd = false;
    std::int32_t failed = -1;
    std::string endText;
};

// Starts a job the way the window does, does atStart right after the start,
// and waits for its end.
CopyRun RunCopy(const std::string& destFolder, QStringList& files, const std::function<void(Job&)>& atStart = {})
{
    CopyRun run;
    TCacheCopyReports reports;
    reports.SetProgress = [&run](int percent) {
        run.reportAfterEnd |= run.ended;
        run.percents.push_back(percent);
    };
    reports.SetStatusText = [&run](const std::string& text) {
        run.reportAfterEnd |= run.ended;
        run.texts.push_back(text);
    };
    QObject owner;
    Job job =
        Job::Start(&owner, TCacheCopyThread(destFolder, files, reports), [&run](const JobEnd<TCacheCopyResult>& end) {
            run.failed = end.value.failedCount;
            run.endText = end.value.EndStatusText();
            run.ended = true;
        });
    if (atStart)
        atStart(job);
    EXPECT_TRUE(WaitUntil([&] { return run.ended; }, 10000));
    return run;
}

QStringList Files(std::initializer_list<fs::path> paths)
{
    QStringList files;
    for (const fs::path& path : paths)
        files << QString::fromStdString(path.string());
    return files;
}

TEST(CacheCopy, PercentAfterEachFileRoundsHalfToEven)
{
    struct Row {
        int total;
        std::vector<int> expected;
    };
    const Row rows[] = {
        {1, {100}},
        {2, {50, 100}},
        {3, {34, 67, 100}},
        {4, {26, 50, 76, 100}},
        {5, {20, 40, 60, 80, 100}},
        {8, {13, 26, 38, 50, 63, 76, 88, 100}},
    };
    for (const Row& row : rows) {
        std::vector<int> got;
        for (int copied = 1; copied <= row.total; ++copied)
            got.push_back(CopyPercent(copied, row.total));
        EXPECT_EQ(got, row.expected) << row.total << " files";
    }
}

TEST(CacheCopy, TargetIsTheFolderFollowedByTheSourceFileName)
{
    const QStringList none;
    const TCacheCopyThread copy("/save/", none, TCacheCopyReports{});
    EXPECT_EQ(copy.MakeTargetName("/root/.cache/Content/ab12cd34/movie[1].swf"), "/save/movie[1].swf");
    EXPECT_EQ(copy.MakeTargetName("bare name.swf"), "/save/bare name.swf");
    // Without a final "/" the name is glued on.
    const TCacheCopyThread glued("/save", none, TCacheCopyReports{});
    EXPECT_EQ(glued.MakeTargetName("/a/movie.swf"), "/savemovie.swf");
}

TEST(CacheCopy, ThreeFilesReportEachTargetWithItsPercentThenEnd)
{
    TempDir dir;
    QStringList files =
        Files({dir.write("c1/one.swf", "1"), dir.write("c2/two.swf", "22"), dir.write("c3/three.swf", "333")});
    const std::string out = dir.folder() + "out/";
    fs::create_directories(out);

    const CopyRun run = RunCopy(out, files);

    EXPECT_EQ(run.percents, (std::vector<int>{34, 67, 100}));
    EXPECT_EQ(run.texts, (std::vector<std::string>{"Copying To: " + out + "one.swf", "Copying To: " + out + "two.swf",
                                                   "Copying To: " + out + "three.swf"}));
    EXPECT_FALSE(run.reportAfterEnd);
    EXPECT_EQ(run.failed, 0);
    EXPECT_EQ(run.endText, "");
    EXPECT_EQ(TempDir::read(out + "three.swf"), "333");
}

TEST(CacheCopy, SameNameFromTwoFoldersTheLaterWinsAndBothCount)
{
    TempDir dir;
    QStringList files =
        Files({dir.write("Content/aaaa/movie[1].swf", "first"), dir.write("Content/bbbb/movie[1].swf", "second")});
    const CopyRun run = RunCopy(dir.folder(), files);
    EXPECT_EQ(run.percents, (std::vector<int>{50, 100}));
    EXPECT_EQ(run.failed, 0);
    EXPECT_EQ(TempDir::read(dir.path() / "movie[1].swf"), "second");
}

TEST(CacheCopy, AnExistingTargetIsReplaced)
{
    TempDir dir;
    QStringList files = Files({dir.write("cache/movie.swf", "FWS fresh")});
    dir.write("out/movie.swf", "an older, longer file of the same name");
    const CopyRun run = RunCopy(dir.folder() + "out/", files);
    EXPECT_EQ(run.failed, 0);
    EXPECT_EQ(TempDir::read(dir.path() / "out/movie.swf"), "FWS fresh");
}

TEST(CacheCopy, AMissingSourceIsSkippedCountedAndTheRunGoesOn)
{
    TempDir dir;
    QStringList files =
        Files({dir.write("cache/a.swf", "A"), dir.path() / "cache/gone.swf", dir.write("cache/b.swf", "B")});
    const std::string out = dir.folder() + "out/";
    fs::create_directories(out);
    dir.write("out/gone.swf", "kept");

    const CopyRun run = RunCopy(out, files);

    EXPECT_EQ(run.percents, (std::vector<int>{34, 67, 100}));
    ASSERT_EQ(run.texts.size(), 3u);
    EXPECT_EQ(run.texts[1], "Copying To: " + out + "gone.swf");
    EXPECT_EQ(run.failed, 1);
    EXPECT_EQ(run.endText, "1 of 3 files could not be copied");
    EXPECT_EQ(TempDir::read(out + "a.swf"), "A");
    EXPECT_EQ(TempDir::read(out + "b.swf"), "B");
    EXPECT_EQ(TempDir::read(out + "gone.swf"), "kept");
}

TEST(CacheCopy, AnUnwritableDestinationFailsEveryFileAndSaysSo)
{
    TempDir dir;
    QStringList files = Files({dir.write("cache/a.swf", "A"), dir.write("cache/b.swf", "B")});
    dir.write("not-a-folder", "x");
    // Running as root ignores permission bits; a path under a file fails for anyone.
    const CopyRun run = RunCopy(dir.folder() + "not-a-folder/", files);
    EXPECT_EQ(run.percents, (std::vector<int>{50, 100}));
    EXPECT_EQ(run.failed, 2);
    EXPECT_EQ(run.endText, "2 of 2 files could not be copied");
    EXPECT_EQ(TempDir::read(dir.path() / "not-a-folder"), "x");
}

TEST(CacheCopy, TheCallersListClearedAtOnceDoesNotAffectTheRun)
{
    TempDir dir;
    QStringList files = Files({dir.write("cache/a.swf", "A"), dir.write("cache/b.swf", "B")});
    const std::string out = dir.folder() + "out/";
    fs::create_directories(out);
    const CopyRun run = RunCopy(out, files, [&files](Job&) { files.clear(); });
    EXPECT_TRUE(files.isEmpty());
    EXPECT_EQ(run.percents, (std::vector<int>{50, 100}));
    EXPECT_EQ(TempDir::read(out + "a.swf"), "A");
    EXPECT_EQ(TempDir::read(out + "b.swf"), "B");
}

// The first file is sparse and far larger than the job can copy before the
// stop, which comes once its temporary file is there: the run ends inside it,
// keeps the older file of that name, copies nothing after it and says it was
// stopped. A file-size limit keeps a copy that missed the stop from filling
// the disk.
TEST(CacheCopy, AStopEndsTheRunInsideTheFileBeingCopied)
{
    TempDir dir;
    const auto big = dir.write("cache/big.swf", "FWS");
    fs::resize_file(big, std::uintmax_t(64) << 30);
    QStringList files = Files({big, dir.write("cache/small.swf", "FWS small")});
    const std::string out = dir.folder() + "out/";
    dir.write("out/big.swf", "older movie");

    std::optional<test::FileSizeLimit> limit(std::in_place, 256 << 20);
    ASSERT_TRUE(limit->Set());
    const CopyRun run = RunCopy(out, files, [&out](Job& job) {
        EXPECT_TRUE(test::WaitForEntries(out, 2, 10000));
        job.Cancel();
    });
    limit.reset();

    EXPECT_TRUE(run.percents.empty());
    EXPECT_EQ(run.failed, 0);
    EXPECT_EQ(run.endText, "Stopped by the user: 0 of 2 files copied");
    EXPECT_EQ(TempDir::read(out + "big.swf"), "older movie");
    EXPECT_EQ(test::EntryNames(out), std::vector<std::string>{"big.swf"});
}

TEST(CacheCopy, AnEmptyListReportsNothingAndStillEnds)
{
    TempDir dir;
    QStringList files;
    const CopyRun run = RunCopy(dir.folder(), files);
    EXPECT_TRUE(run.percents.empty());
    EXPECT_TRUE(run.texts.empty());
    EXPECT_EQ(run.endText, "");
}

TEST(CacheCopy, TheEndTextCountsFailuresInWords)
{
    EXPECT_EQ(CopyFailureText(0, 5), "");
    EXPECT_EQ(CopyFailureText(1, 1), "1 of 1 file could not be copied");
    EXPECT_EQ(CopyFailureText(3, 12), "3 of 12 files could not be copied");
}

}  // namespace
}  // namespace tessaro
