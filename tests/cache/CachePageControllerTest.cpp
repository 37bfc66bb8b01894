#include "cache/CachePageController.h"

#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <thread>
#include <vector>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::WaitUntil;

// What holds Busy when the list is asked to be made again.
enum class TBusyWith { Nothing, Transfer, Listing };

struct ListAgainCase {
    const char* name;
    bool shown;
    TBusyWith busy;
    // Right after the request: the rows left, whether a listing runs.
    int rowsAtOnce;
    bool listingAtOnce;
    // Once everything ended: the walks made, the rows listed.
    int walks;
    int rows;
    // A switch to the page afterwards lists it.
    bool nextSwitchLists;
};

// Rows of a fixture cache of 8 movies; the rows put in by hand are 2.
constexpr int kCacheMovies = 8;
constexpr int kOwnRows = 2;

const ListAgainCase kListAgainCases[] = {
    {"ShownAndIdleListsAtOnce", true, TBusyWith::Nothing, 0, true, 1, kCacheMovies, false},
    {"HiddenWaitsForTheNextSwitch", false, TBusyWith::Nothing, 0, false, 0, 0, true},
    {"ATransferKeepsTheRows", true, TBusyWith::Transfer, kOwnRows, false, 0, kOwnRows, false},
    {"HiddenDuringATransferKeepsTheRowsToo", false, TBusyWith::Transfer, kOwnRows, false, 0, kOwnRows, false},
    {"AListingUnderWayIsMadeAgainWhenItEnds", true, TBusyWith::Listing, 0, true, 2, kCacheMovies, false},
};

void PrintTo(const ListAgainCase& c, std::ostream* out)
{
    *out << c.name;
}

class ListAgain : public testing::TestWithParam<ListAgainCase> {
protected:
    void SetUp() override
    {
        fs::create_directories(work.path() / "caches/Default/Cache/Cache_Data");
        fs::copy(test::FixturesDir() / "chromium/Cache_Data", work.path() / "caches/Default/Cache/Cache_Data",
                 fs::copy_options::recursive);
        UrlCacheLocations locations;
        locations.searchRoots = {work.path() / "caches"};
        locations.contentFolder = work.path() / "content";
        // The first walk waits for the gate (at most 20 s, on its own thread).
        page.SetCacheOpener([locations, gate = gate, walks = walks](const std::atomic<bool>* cancelled) mutable {
            for (int i = 0; *walks == 0 && i < 2000 && !*gate; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ++*walks;
            locations.cancelled = cancelled;
            return OpenUrlCacheEnumeration(locations);
        });
        // Busy as the window keeps it from the page's signals.
        QObject::connect(&page, &TCachePageController::BusyChanged, [this](bool value) { busy = value; });
    }

    test::TempDir work;
    std::shared_ptr<std::atomic<bool>> gate = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<int>> walks = std::make_shared<std::atomic<int>>(0);
    bool busy = false;
    TCachePageController page;
};

TEST_P(ListAgain, FollowsThePageAndWhatHoldsBusy)
{
    const ListAgainCase& c = GetParam();
    if (c.busy == TBusyWith::Listing) {
        page.SetPageShown(true, false);
        ASSERT_TRUE(page.Listing() && busy);
    } else {
        for (int i = 0; i < kOwnRows; ++i) {
            TMovieRow row;
            row.foundIn = TFoundIn::Cache;
            row.localPath = QStringLiteral("/c/own%1.swf").arg(i);
            page.Movies()->Append({row});
        }
        page.SetPageShown(c.shown, false);
        ASSERT_FALSE(page.Listing()) << "a list with rows is not listed on a switch";
        busy = c.busy == TBusyWith::Transfer;
    }

    page.ListAgain(busy);
    EXPECT_EQ(page.Movies()->RowCount(), c.rowsAtOnce);
    EXPECT_EQ(page.Listing(), c.listingAtOnce);

    *gate = true;
    ASSERT_TRUE(WaitUntil([&] { return !page.Listing(); }, 20000)) << "the listing never ended";
    EXPECT_EQ(*walks, c.walks);
    EXPECT_EQ(page.Movies()->RowCount(), c.rows);
    if (c.rows == kCacheMovies) {
        EXPECT_EQ(page.Movies()->Row(0).cacheNumber, QStringLiteral("1")) << "listed afresh";
    }
    EXPECT_EQ(busy, c.busy == TBusyWith::Transfer) << "only a transfer still holds Busy";

    page.SetPageShown(false, busy);
    page.SetPageShown(true, busy);
    EXPECT_EQ(page.Listing(), c.nextSwitchLists);
    ASSERT_TRUE(WaitUntil([&] { return !page.Listing(); }, 20000));
}

INSTANTIATE_TEST_SUITE_P(Cases, ListAgain, testing::ValuesIn(kListAgainCases),
                         [](const auto& info) { return std::string(info.param.name); });

std::string WarcResponse(const std::string& uri, const std::string& type, const std::string& body)
{
    const std::string block = "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\n\r\n" + body;
    return "WARC/1.0\r\nWARC-Type: response\r\nWARC-Target-URI: " + uri +
           "\r\nWARC-Date: 2009-01-02T03:04:05Z\r\nContent-Type: application/http; msgtype=response\r\n"
           "Content-Length: " +
           std::to_string(block.size()) + "\r\n\r\n" + block + "\r\n\r\n";
}

// A movie listed from a web archive is saved with the files it loads that the
// same archive recorded, though no cache or server holds them.
TEST(CachePageSave, TakesWhatAMovieLoadsFromItsArchive)
{
    const test::TempDir work;
    const std::string loader =
        test::TMovieBuilder()
            .Tag(12, test::TMovieBuilder::GetUrl("data/words.xml", "_level1") + std::string(1, '\0'))
            .ShowFrame()
            .Build();
    work.write("added/crawl", WarcResponse("http://site.example/g/test.swf", "application/x-shockwave-flash", loader) +
                                  WarcResponse("http://site.example/g/data/words.xml", "text/xml", "<words/>"));
    UrlCacheLocations locations;
    locations.embeddedCache = work.path() / "none";
    locations.contentFolder = work.path() / "content";
    locations.addedFolders = {work.path() / "added"};
    TCachePageController page;
    page.SetCacheOpener([locations](const std::atomic<bool>* cancelled) mutable {
        locations.cancelled = cancelled;
        return OpenUrlCacheEnumeration(locations);
    });
    page.StartListing();
    ASSERT_TRUE(WaitUntil([&] { return !page.Listing(); }, 20000));
    ASSERT_EQ(page.Movies()->RowCount(), 1);
    page.Movies()->SetChecked(0, true);
    ASSERT_TRUE(page.StartSaveWithNeeds(QString::fromStdString(work.folder() + "saved")));
    ASSERT_TRUE(WaitUntil([&] { return !page.Copying(); }, 20000));
    EXPECT_EQ(test::TempDir::read(work.path() / "saved/site.example/g/test.swf"), loader);
    EXPECT_EQ(test::TempDir::read(work.path() / "saved/site.example/g/data/words.xml"), "<words/>");
}

}  // namespace
}  // namespace tessaro
