// The web page's controller without a window: the snapshots and commands it
// is handed, the rows it leaves and what it tells the window, in order.

#include "web/WebPageController.h"

#include "download/HttpGetThread.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"

#include <QStringList>

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>

namespace tessaro {
namespace {

using test::HttpResponse;
using test::WaitUntil;

constexpr int kWaitMs = 20000;

const QString kPageAddress = QStringLiteral("http://site.test/page.html");
const QByteArray kPage =
    R"({"url": "http://site.test/page.html", "embeds": ["Intro.swf", "b/clip.swf"], "scripts": []})";
const QByteArray kGrown =
    R"({"url": "http://site.test/page.html", "embeds": ["Intro.swf", "b/clip.swf", "grown.swf"], "scripts": []})";
const QByteArray kOther = R"({"url": "http://site.test/other.html", "embeds": ["other.swf"], "scripts": []})";

// A controller as the window holds it, with a settings file of its own and
// every signal the window listens to written down as a line.
class WebPageTest : public testing::Test {
public:
    void SetUp() override
    {
        setenv("HOME", home.path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home.path() / ".config").c_str(), 1);
        page = std::make_unique<TWebPageController>([this] { return busy; });
        // Without the thorough scan nothing is fetched after a scan.
        page->SetThoroughScan(false);
        using C = TWebPageController;
        connect(&C::StatusText, [this](const QString& text) { Note("status " + text); });
        connect(&C::StatusReset, [this] { Note("reset"); });
        connect(&C::DownloadStarted, [this] { Note("busy"); });
        connect(&C::TransferRunningChanged, [this](bool running) { Note(running ? "stop on" : "stop off"); });
        connect(&C::RowsToPreview, [this] { Note("preview"); });
        connect(&C::PageRowsListed, [this] { Note("check the page in view"); });
        connect(&C::GrowthToScan, [this] { Note("scan the growth"); });
        connect(&C::ErrorToShow, [this](const std::exception_ptr&) { Note("error"); });
    }

    template <class Signal, class Slot>
    void connect(Signal signal, Slot slot)
    {
        QObject::connect(page.get(), signal, page.get(), slot);
    }
    void Note(const QString& line) { notes.append(line); }

    void Scan(const QByteArray& json, bool grow = false)
    {
        page->StartPageScan(json, grow, false, kPageAddress);
        Settle();
    }
    void Settle()
    {
        ASSERT_TRUE(WaitUntil([&] { return !page->PageScanRunning() && !page->DownloadRunning(); }, kWaitMs));
    }

    // Each row as "[x] address | status".
    QStringList Rows() const
    {
        QStringList rows;
        for (int row = 0; row < page->Movies()->RowCount(); ++row) {
            const TMovieRow& movie = page->Movies()->Row(row);
            rows.append((movie.checked ? "[x] " : "[ ] ") + movie.address + " | " + movie.status);
        }
        return rows;
    }

    test::TempDir home;
    bool busy = false;
    std::unique_ptr<TWebPageController> page;
    QStringList notes;
};

struct ScanCase {
    const char* name;
    std::function<void(WebPageTest&)> act;
    QStringList rows;
    QStringList notes;
};

void PrintTo(const ScanCase& row, std::ostream* os)
{
    *os << row.name;
}

class WebPageScans : public WebPageTest, public testing::WithParamInterface<ScanCase> {};

TEST_P(WebPageScans, LeaveTheRowsAndTellTheWindow)
{
    GetParam().act(*this);
    EXPECT_EQ(Rows().join('\n').toStdString(), GetParam().rows.join('\n').toStdString());
    EXPECT_EQ(notes.join('\n').toStdString(), GetParam().notes.join('\n').toStdString());
}

const QStringList kPageRows{"[ ] http://site.test/Intro.swf | New", "[ ] http://site.test/b/clip.swf | New"};
const QStringList kPageScanned{"preview", "check the page in view", "status Done"};

INSTANTIATE_TEST_SUITE_P(
    Table, WebPageScans,
    testing::Values(ScanCase{"APageScanListsNewRowsTheWindowChecks", [](WebPageTest& t) { t.Scan(kPage); }, kPageRows,
                             kPageScanned},
                    ScanCase{"AGrowthAppendsCheckedRowsAndKeepsThoseThere",
                             [](WebPageTest& t) {
                                 t.Scan(kPage);
                                 t.page->Movies()->SetStatus(0, kStatusPreview);
                                 t.Scan(kGrown, true);
                             },
                             {"[ ] http://site.test/Intro.swf | Preview", "[ ] http://site.test/b/clip.swf | New",
                              "[x] http://site.test/grown.swf | New"},
                             kPageScanned},
                    ScanCase{"AGrowthWhileTheCachePageIsInViewStaysUnchecked",
                             [](WebPageTest& t) {
                                 t.Scan(kPage);
                                 t.page->SetInView(false);
                                 t.Scan(kGrown, true);
                             },
                             kPageRows + QStringList{"[ ] http://site.test/grown.swf | New"}, kPageScanned},
                    ScanCase{"TheNewestSnapshotReplacesOneWaitingForTheScanUnderWay",
                             [](WebPageTest& t) {
                                 t.page->StartPageScan(kPage, false, false, kPageAddress);
                                 t.page->StartPageScan(kGrown, false, false, kPageAddress);
                                 t.page->StartPageScan(kOther, false, true, kPageAddress);
                                 t.Settle();
                             },
                             {"[ ] http://site.test/other.swf | New"},
                             {"preview", "check the page in view", "status Done",
                              "status Done: part of the page was too large to read and is left out"}},
                    ScanCase{"AGrowthSeenWhileThePageScanWaitsIsScannedAfterIt",
                             [](WebPageTest& t) {
                                 t.page->SetThoroughScan(true);
                                 t.page->PageCompleted();
                                 EXPECT_FALSE(t.page->GrowthWanted());
                                 t.page->SetThoroughScan(false);
                                 t.Scan(kPage);
                                 EXPECT_FALSE(t.page->GrowthWanted()) << "without the thorough scan";
                             },
                             kPageRows, kPageScanned + QStringList{"scan the growth"}},
                    ScanCase{"ASnapshotThatFailedKeepsTheRowsAndSaysWhy",
                             [](WebPageTest& t) {
                                 t.Scan(kPage);
                                 t.page->PageCompleted();
                                 t.page->PageSnapshotFailed(QStringLiteral("The page did not answer"));
                             },
                             kPageRows, kPageScanned + QStringList{"status The page did not answer"}},
                    ScanCase{"AnUnreadableSnapshotKeepsTheRowsAndSaysWhy",
                             [](WebPageTest& t) {
                                 t.Scan(kPage);
                                 t.notes.clear();
                                 t.Scan("{\"url\": 7");
                             },
                             kPageRows,
                             {"status The page's document snapshot cannot be read: invalid termination by number"}},
                    ScanCase{"ExitDropsTheRowsAndTheScanUnderWay",
                             [](WebPageTest& t) {
                                 t.Scan(kPage);
                                 t.page->StartPageScan(kOther, false, false, kPageAddress);
                                 t.page->Close();
                                 t.Settle();
                             },
                             {},
                             kPageScanned},
                    ScanCase{"ClearListForgetsTheRowsButNotThatTheyWereFound",
                             [](WebPageTest& t) {
                                 t.Scan(kPage);
                                 t.page->ClearList();
                                 t.Scan(kGrown, true);
                             },
                             {"[x] http://site.test/grown.swf | New"},
                             kPageScanned}),
    [](const testing::TestParamInfo<ScanCase>& info) { return info.param.name; });

// The download sequence over a loopback server: each checked row in turn,
// the window told when it is busy and when Stop Transfer applies.
TEST_F(WebPageTest, DownloadsTheCheckedRowsInTurnAndStopsWhenAsked)
{
    test::LoopbackHttpServer server;
    server.route("/one.swf", test::FwsMovie(101), "application/x-shockwave-flash");
    // Fetched as the row parsed it: the escape as written, the stray "%" escaped.
    server.route("/a%2Fb%25.swf", test::FwsMovie(102), "application/x-shockwave-flash");
    HttpResponse drip;
    drip.body = test::FwsMovie(4000);
    drip.dripMs = 50;
    server.route("/slow.swf", drip);
    const QString one = QString::fromStdString(server.origin() + "/one.swf");
    const QString missing = QString::fromStdString(server.origin() + "/missing.swf");
    const QString escaped = QString::fromStdString(server.origin() + "/a%2Fb%.swf");
    const QString slow = QString::fromStdString(server.origin() + "/slow.swf");
    page->ShowFoundMovies(TMovieRows::OfAddresses({one, missing, escaped}));
    page->Movies()->CheckAll(true);
    notes.clear();

    test::TempDir target;
    page->StartDownloads(target.folder());
    Settle();
    EXPECT_EQ(Rows(),
              QStringList({"[x] " + one + " | Saved", "[x] " + missing + " | Failed", "[x] " + escaped + " | Saved"}));
    EXPECT_EQ(notes, QStringList({"status Downloading " + one, "busy", "stop on", "reset", "stop off",
                                  "status downloading " + missing, "busy", "stop on", "reset", "stop off",
                                  "status downloading " + escaped, "busy", "stop on", "reset", "stop off"}));

    page->ShowFoundMovies(TMovieRows::OfAddresses({slow, one}));
    page->Movies()->CheckAll(true);
    notes.clear();
    page->StartDownloads(target.folder());
    page->StopDownloads();
    Settle();
    EXPECT_EQ(Rows(), QStringList({"[x] " + slow + " | Failed", "[x] " + one + " | New"}))
        << "the rows after the stopped one are not tried";
    EXPECT_EQ(notes, QStringList({"status Downloading " + slow, "busy", "stop on", "reset", "stop off",
                                  "status " + QString::fromLatin1(THttpGetThread::kStoppedReason)}));
}

}  // namespace
}  // namespace tessaro
