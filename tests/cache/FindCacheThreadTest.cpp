#include "cache/FindCacheThread.h"

#include "cache/CachedMovieDetails.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {
namespace {

// A cache that yields the entries it is given, then ends; an entry named
// "throw" breaks the walk as a damaged cache does.
class ListedCache : public UrlCacheEnumeration {
public:
    ListedCache(std::vector<UrlCacheEntry> entries, std::shared_ptr<std::atomic<int>> closes)
        : entries_(std::move(entries)), closes_(std::move(closes))
    {
    }
    bool Next(UrlCacheEntry& entry) override
    {
        if (next_ >= entries_.size())
            return false;
        entry = entries_[next_++];
        if (entry.localFileName == "throw")
            throw std::runtime_error("cache index damaged");
        return true;
    }
    void Close() override { ++*closes_; }

private:
    std::vector<UrlCacheEntry> entries_;
    std::size_t next_ = 0;
    std::shared_ptr<std::atomic<int>> closes_;
};

struct ScanResult {
    std::vector<CacheMovieRow> rows;
    bool rowsOnUiThread = true;
    int rowsAtEnd = -1;
    int closes = 0;
    std::string failure;  // what the body threw, as the end handler sees it
};

ScanResult ScanCache(std::vector<UrlCacheEntry> entries, bool openFails = false)
{
    auto closes = std::make_shared<std::atomic<int>>(0);
    ScanResult run;
    bool ended = false;
    QObject owner;
    TFindCacheEntryThread walk;
    walk.addRow = [&](const CacheMovieRow& row) {
        run.rowsOnUiThread = run.rowsOnUiThread && QThread::currentThread() == qApp->thread();
        run.rows.push_back(row);
    };
    walk.openCache = [=](const std::atomic<bool>*) -> std::unique_ptr<UrlCacheEnumeration> {
        if (openFails)
            return nullptr;
        return std::make_unique<ListedCache>(entries, closes);
    };
    const Job job = Job::Start(&owner, walk, [&](const JobEnd<void>& end) {
        run.rowsAtEnd = int(run.rows.size());
        if (end.error) {
            try {
                std::rethrow_exception(end.error);
            } catch (const std::exception& e) {
                run.failure = e.what();
            }
        }
        ended = true;
    });
    EXPECT_TRUE(test::WaitUntil([&] { return ended; }, 10000));
    run.closes = *closes;
    return run;
}

TEST(FindCacheThreadTest, FlashTestLooksOnlyAtTheExtensionOfTheFileName)
{
    const std::pair<const char*, bool> cases[] = {
        {"/cache/AB12/movie.swf", true},    {"/cache/AB12/CLIP.SWF", true},
        {"/cache/AB12/clip.Swf", true},     {"/cache/AB12/movie[1].swf", true},
        {"/cache/AB12/.swf", true},         {"movie.swf", true},
        {"/cache/AB12/clip.swf2", false},   {"/cache/AB12/clip.swf.tmp", false},
        {"/cache/AB12/clip", false},        {"/cache/c.swf/swf", false},
        {"/cache/c.swf/", false},           {"/cache/AB12/clip.swf ", false},
        {"/cache/AB12/clip.sw\xc6", false}, {"", false},
    };
    for (const auto& [path, flash] : cases)
        EXPECT_EQ(IsFlashCacheFile(path), flash) << '"' << path << '"';
}

TEST(FindCacheThreadTest, ListsMoviesInOrderNumberedFromOne)
{
    const ScanResult run = ScanCache({
        {"/c/AB12/CLIP.SWF", 5000000000ULL},
        {"/c/AB12/page.html", 10},
        {"/c/AB12/clip.swf2", 11},
        {"/c/AB12/clip.swf.tmp", 12},
        {"/c/c.swf/swf", 13},
        {"", 14},
        {"/c/AB12/clip.Swf", 0},
        {"/c/CD34/movie.swf", 4294967296ULL + 30},
    });
    ASSERT_EQ(run.rows.size(), 3u);
    EXPECT_TRUE(run.rowsOnUiThread);
    EXPECT_EQ(run.rowsAtEnd, 3) << "the end comes after the last row";
    EXPECT_EQ(run.closes, 1);
    const std::vector<std::vector<std::string>> want = {
        {"1", "CLIP.SWF", "705032704", "/c/AB12/CLIP.SWF"},
        {"2", "clip.Swf", "0", "/c/AB12/clip.Swf"},
        {"3", "movie.swf", "30", "/c/CD34/movie.swf"},
    };
    for (std::size_t i = 0; i < want.size(); ++i) {
        const CacheMovieRow& row = run.rows[i];
        EXPECT_EQ((std::vector<std::string>{row.Index, row.Flash, row.Size, row.LocalPath}), want[i]);
    }
}

// The tooltip of a cache row: a cache key's controls are shown, never acted
// on, and a FIFO where the check-out was is not waited on.
TEST(FindCacheThreadTest, DetailsAreTextAndNeverWaitOnTheFile)
{
    const test::TempDir dir;
    const std::filesystem::path fifo = dir.path() / "movie[1].swf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    UrlCacheEntry entry{fifo.string(), 1, "http://h/a\x1b[2J\r\nCached by Nobody\xe2\x80\xae.swf", "Firefox", 0};
    auto details = std::async(std::launch::async, [&entry] { return CachedMovieDetails(entry); });
    if (details.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        ADD_FAILURE() << "the details wait on a FIFO";
        ::close(::open(fifo.c_str(), O_RDWR | O_NONBLOCK));  // let it go
    }
    const std::string text = details.get();
    EXPECT_EQ(text,
              "From http://h/a\xef\xbf\xbd[2J\xef\xbf\xbd\xef\xbf\xbd"
              "Cached by Nobody\xef\xbf\xbd.swf\nCached by Firefox");
    // A web archive's movie names the archive and the capture, in UTC.
    entry.url = "http://h/a.swf";
    entry.browser.clear();
    entry.archive = "/disk/crawls/crawl\x1b.warc.gz";
    entry.time = 1209588505;
    EXPECT_EQ(CachedMovieDetails(entry),
              "From http://h/a.swf\nRecorded in crawl\xef\xbf\xbd.warc.gz on 2008-04-30 20:48 UTC");
}

TEST(FindCacheThreadTest, EndsQuietlyWhenThereIsNothingToList)
{
    const ScanResult failed = ScanCache({{"/c/a.swf", 1}}, true);
    EXPECT_TRUE(failed.rows.empty());
    EXPECT_EQ(failed.rowsAtEnd, 0);
    EXPECT_EQ(failed.closes, 0) << "nothing opened, nothing to close";

    const ScanResult empty = ScanCache({});
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_EQ(empty.closes, 1);

    const ScanResult only = ScanCache({{"/c/only.swf", 7}});
    ASSERT_EQ(only.rows.size(), 1u);
    EXPECT_EQ(only.rows[0].Index, "1");
    EXPECT_EQ(only.failure, "");
}

TEST(FindCacheThreadTest, AWalkThatBreaksKeepsItsRowsAndTellsWhy)
{
    const ScanResult run = ScanCache({{"/c/a.swf", 1}, {"/c/b.swf", 2}, {"throw", 0}, {"/c/c.swf", 3}});
    ASSERT_EQ(run.rows.size(), 2u);
    EXPECT_EQ(run.rowsAtEnd, 2);
    EXPECT_EQ(run.failure, "cache index damaged");
    EXPECT_EQ(run.closes, 1) << "closed however the walk ends";
}

}  // namespace
}  // namespace tessaro
