#include "ModalAnswers.h"
#include "ShownWindow.h"
#include "app/MirkMainForm.h"
#include "dialogs/BrowseFolderDlg.h"
#include "platform/http/HttpClient.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/StatusBar.h"
#include "support/FileSizeLimit.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace tessaro {
namespace {

using test::FwsMovie;
using test::HttpResponse;
using test::LoopbackHttpServer;
using test::TempDir;
using test::WaitUntil;

constexpr int kStatus = TMovieModel::kWebStatus;

// A shown window with its folder chooser, talking to a loopback server.
// Modal windows (the chooser, the warning) are answered by a timer that
// looks for them while the command waits in their event loop.
class Transfer : public test::ChooserWindow {
protected:
    void SetUp() override
    {
        RouteHttpToLoopback(server.port());
        OpenWithChooser(target.folder());
    }

    void TearDown() override
    {
        CloseWithChooser();
        RouteHttpToLoopback(0);
    }

    void ShowWebRows(const QStringList& addresses)
    {
        ShowMovies(addresses);
        WebMovies()->CheckAll(true);
    }

    QString Status() const { return Control<TStatusBar>("StatusBar1")->PanelText(0); }
    QString RowStatus(int row) const { return Cell(Control<TListView>("ListView1"), row, kStatus); }

    // Runs the command and waits until the sequence it started has ended,
    // noting every status text seen on the way.
    std::vector<QString> RunCommand(const std::function<void()>& whileRunning = {})
    {
        std::vector<QString> seen;
        window->LbSpeedButton3Click();
        WaitUntil(
            [&] {
                if (seen.empty() || seen.back() != Status())
                    seen.push_back(Status());
                if (whileRunning)
                    whileRunning();
                return !window->IsBusy() && !window->WebPage()->DownloadRunning() && !window->CachePage()->Copying();
            },
            20000);
        return seen;
    }

    TempDir target;
    LoopbackHttpServer server;
};

TEST_F(Transfer, CheckedRowsAreSavedOneAfterAnotherAndARowUncheckedMeanwhileIsLeftOut)
{
    HttpResponse slow;
    slow.delayMs = 300;
    slow.body = FwsMovie(101);
    server.route("/one.swf", slow);
    server.route("/two.swf", FwsMovie(102), "application/x-shockwave-flash");
    slow.body = FwsMovie(103);
    server.route("/Three.SWF", slow);
    const QString one = "http://movies.example/one.swf";
    const QString three = "http://movies.example/Three.SWF";
    ShowWebRows({one, "http://movies.example/two.swf", three});
    WebMovies()->SetStatus(2, QStringLiteral("Preview"));

    const auto seen = RunCommand([&] {
        if (Status().startsWith("Downloading "))
            WebMovies()->SetChecked(1, false);
    });

    EXPECT_EQ(seen, (std::vector<QString>{"Downloading " + one, "downloading " + three, "Done"}));
    EXPECT_EQ(RowStatus(0), "Saved");
    EXPECT_EQ(RowStatus(1), "New");
    EXPECT_EQ(RowStatus(2), "Saved");
    EXPECT_EQ(TempDir::read(target.path() / "one.swf"), FwsMovie(101));
    EXPECT_EQ(TempDir::read(target.path() / "Three.SWF"), FwsMovie(103));
    EXPECT_FALSE(std::filesystem::exists(target.path() / "two.swf"));
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[0].target, "/one.swf");
    EXPECT_EQ(server.requests()[1].target, "/Three.SWF");
    EXPECT_FALSE(window->WebPage()->DownloadRunning());
    EXPECT_EQ(dialogsShown, 1);
}

TEST_F(Transfer, AMovieReadAfterTheScanIsSavedFromTheBytesKeptForIt)
{
    // A movie the reader takes whole: only such bytes are kept.
    const std::string movie = test::MinimalMovie({0, 0, 255}, 100, 100, 8);
    server.route("/kept.swf", movie, "application/x-shockwave-flash");
    ASSERT_TRUE(ShowLoopbackPage(server.port()));
    ShowWebRows({"http://movies.example/kept.swf"});
    window->WebPage()->StartReadingMovies(QStringLiteral("http://movies.example/"),
                                          Control<TWebBrowser>("WebBrowser1")->LocationURL());
    ASSERT_TRUE(WaitUntil([&] { return !window->WebPage()->MovieReadingRunning(); }, 20000));

    RunCommand();
    EXPECT_EQ(RowStatus(0), QStringLiteral("Saved"));
    EXPECT_EQ(TempDir::read(target.folder() + "kept.swf"), movie);
    int fetches = 0;
    for (const test::HttpRequest& request : server.requests())
        fetches += request.target == "/kept.swf" ? 1 : 0;
    EXPECT_EQ(fetches, 1) << "read once after the scan, then saved from what that gave";
}

TEST_F(Transfer, FailedRowsSayFailedStayCheckedAndTheRestGoesOn)
{
    server.route("/good.swf", FwsMovie(104), "application/x-shockwave-flash");
    HttpResponse cut;
    cut.body = FwsMovie(50'000);
    cut.cutAfter = 10'000;
    server.route("/cut.swf", cut);
    target.write("missing.swf", "older movie");
    ShowWebRows({"http://movies.example/page.html",  // gives no file name
                 "http://movies.example/missing.swf", "http://movies.example/cut.swf",
                 "http://movies.example/saved.swf", "http://movies.example/good.swf"});
    WebMovies()->SetStatus(3, QStringLiteral("Saved"));

    const auto seen = RunCommand();
    EXPECT_EQ(seen.back(), "Done");
    EXPECT_EQ(RowStatus(0), "Failed");
    EXPECT_EQ(RowStatus(1), "Failed");
    EXPECT_EQ(RowStatus(2), "Failed");
    EXPECT_EQ(RowStatus(3), "Saved");
    EXPECT_EQ(RowStatus(4), "Saved");
    for (int row = 0; row < 5; ++row)
        EXPECT_TRUE(Checked(Control<TListView>("ListView1"), row)) << row;
    EXPECT_EQ(TempDir::read(target.path() / "missing.swf"), "older movie");
    EXPECT_FALSE(std::filesystem::exists(target.path() / "cut.swf"));
    EXPECT_EQ(TempDir::read(target.path() / "good.swf"), FwsMovie(104));
    EXPECT_FALSE(Cell(Control<TListView>("ListView1"), 1, kStatus, Qt::ToolTipRole).isEmpty());

    // One try per row per command: each failing row was asked for once.
    std::vector<std::string> asked;
    for (const auto& request : server.requests())
        asked.push_back(request.target);
    EXPECT_EQ(asked, (std::vector<std::string>{"/missing.swf", "/cut.swf", "/good.swf"}));

    // The next command tries the failed rows again.
    RunCommand();
    EXPECT_EQ(server.requests().size(), 5u);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(Transfer, WarningNamesTheActivePageListOnly)
{
    AddCacheRow("1", "m.swf", "10", "/c/m.swf");
    window->CachePage()->Movies()->SetChecked(0, true);
    window->LbSpeedButton3Click();  // web page active, its list empty
    ShowWebRows({"http://movies.example/a.swf"});
    WebMovies()->SetChecked(0, false);
    window->LbSpeedButton3Click();  // web rows there, none checked

    ASSERT_EQ(warnings.size(), 2u);
    for (const Warning& warning : warnings) {
        EXPECT_EQ(warning.text, "You should select flash movie(s) at first! ");
        EXPECT_EQ(warning.title, "");
        EXPECT_EQ(warning.icon, QMessageBox::Warning);
    }
    EXPECT_EQ(dialogsShown, 0);
    EXPECT_FALSE(window->IsBusy());
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(Transfer, NothingStartsWhileBusyOrWhenTheChooserIsCancelled)
{
    server.route("/a.swf", FwsMovie(100), "application/x-shockwave-flash");
    ShowWebRows({"http://movies.example/a.swf"});

    window->SetBusy(true);
    window->LbSpeedButton3Click();
    QApplication::processEvents();
    EXPECT_EQ(dialogsShown, 0);
    EXPECT_TRUE(warnings.empty());
    window->SetBusy(false);

    acceptFolder = false;
    RunCommand();
    EXPECT_EQ(dialogsShown, 1);

    // No folder ever chosen: the chooser is accepted but gives nothing.
    acceptFolder = true;
    chosenFolder.clear();
    RunCommand();
    EXPECT_EQ(dialogsShown, 2);
    EXPECT_TRUE(server.requests().empty());
    EXPECT_EQ(RowStatus(0), "New");
}

TEST_F(Transfer, ASecondCommandDuringADownloadStartsNoSecondWorker)
{
    HttpResponse slow;
    slow.delayMs = 500;
    slow.body = FwsMovie(100);
    server.route("/a.swf", slow);
    ShowWebRows({"http://movies.example/a.swf"});

    const auto seen = RunCommand([&] {
        if (window->WebPage()->DownloadRunning() && window->IsBusy()) {
            window->SetBusy(false);  // as if another part had cleared it
            window->LbSpeedButton3Click();
        }
    });
    EXPECT_EQ(seen.back(), "Done");
    EXPECT_EQ(dialogsShown, 1);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(RowStatus(0), "Saved");
}

TEST_F(Transfer, CachePageCopiesTheCheckedLocalPathsInRowOrder)
{
    TempDir cache;
    const std::vector<std::string> names = {"first.swf", "second.swf", "third.swf"};
    TCachePageController* page = window->CachePage();
    Control<QTabWidget>("PageControl1")->setCurrentIndex(kCachePage);
    WaitUntil([&] { return !page->Listing(); }, 10000);  // the empty cache list was scanned
    page->Movies()->ClearList();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto file = cache.write(names[i], "bytes of " + names[i]);
        AddCacheRow(QString::number(i + 1), QString::fromStdString(names[i]), "10",
                    QString::fromStdString(file.string()));
        page->Movies()->SetChecked(static_cast<int>(i), i != 1);
    }

    const auto seen = RunCommand();
    EXPECT_EQ(seen.back(), "Done");
    ASSERT_EQ(page->CopyList().size(), 2);
    EXPECT_TRUE(page->CopyList().at(0).endsWith("first.swf"));
    EXPECT_TRUE(page->CopyList().at(1).endsWith("third.swf"));
    EXPECT_EQ(TempDir::read(target.path() / "first.swf"), "bytes of first.swf");
    EXPECT_EQ(TempDir::read(target.path() / "third.swf"), "bytes of third.swf");
    EXPECT_FALSE(std::filesystem::exists(target.path() / "second.swf"));
    EXPECT_TRUE(server.requests().empty());
}

// A transfer that would take hours: a download dripping just above the
// client's low-speed bound, or the copy of a huge cached movie. Exit is refused
// without a question while it runs; Stop Transfer ends it within a second. The
// row being saved fails, no file is left and an older one of that name is
// kept, the rows not yet done stay checked, and the window closes afterwards.
class StopTransfer : public Transfer, public testing::WithParamInterface<int> {};

TEST_P(StopTransfer, EndsTheRunningTransferAndLetsTheWindowClose)
{
    const bool web = GetParam() == kWebPage;
    QAction* stop = window->findChild<QAction*>(QStringLiteral("StopTransfer1"));
    ASSERT_NE(stop, nullptr);
    EXPECT_EQ(stop->text(), "Stop Transfer");
    const QList<QAction*> fileItems = Control<QMenu>("File1")->actions();
    const qsizetype save = fileItems.indexOf(Control<QAction>("SaveWithNeeds1"));
    EXPECT_EQ(save, fileItems.indexOf(Control<QAction>("CopyFlash1")) + 1);
    EXPECT_EQ(fileItems.indexOf(stop), save + 1);
    EXPECT_FALSE(stop->isEnabled());

    target.write("movie.swf", "older movie");
    TempDir cache;
    TListView* list = Control<TListView>("ListView1");
    TMovieModel* movies = WebMovies();
    if (web) {
        HttpResponse drip;
        drip.body = FwsMovie(8u << 20);
        drip.dripMs = 10;
        drip.dripBytes = 12;  // about 1,200 bytes a second: two hours for this movie
        server.route("/movie.swf", drip);
        server.route("/next.swf", FwsMovie(100), "application/x-shockwave-flash");
        ShowWebRows({"http://movies.example/movie.swf", "http://movies.example/next.swf"});
    } else {
        Control<QTabWidget>("PageControl1")->setCurrentIndex(kCachePage);
        ASSERT_TRUE(
            WaitUntil([&] { return !window->CachePage()->Listing(); }, 10000));  // the empty cache list was scanned
        list = Control<TListView>("ListView2");
        movies = window->CachePage()->Movies();
        movies->ClearList();
        const auto big = cache.write("movie.swf", "FWS");
        std::filesystem::resize_file(big, std::uintmax_t(64) << 30);  // sparse: no disk for the source
        AddCacheRow("1", "movie.swf", "68719476736", QString::fromStdString(big.string()));
        AddCacheRow("2", "next.swf", "9", QString::fromStdString(cache.write("next.swf", "FWS next").string()));
        movies->CheckAll(true);
    }

    // A copy that missed the stop fails at this size instead of filling the disk.
    std::optional<test::FileSizeLimit> limit(std::in_place, 256 << 20);
    ASSERT_TRUE(limit->Set());

    window->LbSpeedButton3Click();
    EXPECT_TRUE(stop->isEnabled());
    // Under way: the first row's temporary file is beside the older file.
    EXPECT_TRUE(test::WaitForEntries(target.path(), 2, 10000));
    Control<QAction>("Exit1")->trigger();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->IsBusy());
    stop->trigger();
    EXPECT_TRUE(WaitUntil(
        [&] { return !window->IsBusy() && !window->WebPage()->DownloadRunning() && !window->CachePage()->Copying(); },
        1000));
    limit.reset();

    EXPECT_FALSE(stop->isEnabled());
    if (web) {
        EXPECT_EQ(RowStatus(0), "Failed");
        EXPECT_EQ(Cell(Control<TListView>("ListView1"), 0, kStatus, Qt::ToolTipRole), "Stopped by the user");
        EXPECT_EQ(RowStatus(1), "New");
        EXPECT_EQ(server.requests().size(), 1u) << "no row is taken after the stop";
        EXPECT_EQ(Status(), "Stopped by the user");
    } else {
        EXPECT_EQ(Status(), "Stopped by the user: 0 of 2 files copied");
    }
    EXPECT_TRUE(Checked(list, 0));
    EXPECT_TRUE(Checked(list, 1));
    EXPECT_EQ(TempDir::read(target.path() / "movie.swf"), "older movie");
    EXPECT_EQ(test::EntryNames(target.path()), std::vector<std::string>{"movie.swf"});
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(dialogsShown, 1);

    Control<QAction>("Exit1")->trigger();
    EXPECT_TRUE(WaitUntil([&] { return !window->isVisible(); }, 2000));
}

INSTANTIATE_TEST_SUITE_P(Pages, StopTransfer, testing::Values(kWebPage, kCachePage),
                         [](const auto& info) { return info.param == kWebPage ? "Download" : "Copy"; });

}  // namespace
}  // namespace tessaro
