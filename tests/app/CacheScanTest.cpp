#include "ShownWindow.h"
#include "app/MirkMainForm.h"
#include "cache/FindCacheThread.h"
#include "dialogs/BrowseFolderDlg.h"
#include "platform/browser/BrowserProfile.h"
#include "platform/browser/WebBrowser.h"
#include "platform/cachewalk/UrlCache.h"
#include "platform/core/AppPaths.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/StatusBar.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"
#include "support/browserfiles/CacheEntryBuilder.h"
#include "support/browserfiles/CacheFixtures.h"

#include <QAction>
#include <QApplication>
#include <QTabWidget>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <stdexcept>
#include <thread>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::WaitUntil;

// The cache page of a shown window, with a home and cache folder of its own.
class CacheScan : public test::ShownWindow {
protected:
    void SetUp() override
    {
        // The profile keeps the folder it was made with: make it in the
        // process's own cache folder, not in this test's home.
        BrowserProfile();
        savedCache = std::getenv("XDG_CACHE_HOME");
        savedConfig = std::getenv("XDG_CONFIG_HOME");
        UseOwnHome();
        setenv("XDG_CACHE_HOME", (home.path() / ".cache").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home.path() / ".config").c_str(), 1);
        OpenWindowWithChooser();
    }

    void TearDown() override
    {
        CloseWindow();
        setenv("XDG_CACHE_HOME", savedCache.c_str(), 1);
        setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    }

    // A window as the program makes it at start, with its folder chooser.
    void OpenWindowWithChooser()
    {
        MakeWindow();
        chooser = new TBrowseFolderDialog(window.get());
        window->SetBrowseFolderDialog(chooser);
        ShowWindow();
        ASSERT_TRUE(WaitUntil([&] { return window->FormCloseQuery(); }, 5000));
    }

    TListView* List() const { return Control<TListView>("ListView2"); }
    QString Status() const { return Control<TStatusBar>("StatusBar1")->PanelText(0); }
    bool Listed() const { return !window->CachePage()->Listing() && window->FormCloseQuery(); }

    // Switches to the cache page and waits for the listing to end.
    void ShowCachePage()
    {
        Control<QTabWidget>("PageControl1")->setCurrentIndex(kWebPage);
        Control<QTabWidget>("PageControl1")->setCurrentIndex(kCachePage);
        ASSERT_TRUE(WaitUntil([&] { return Listed(); }, 20000)) << "the listing never ended";
    }

    void CopyFixture(const std::string& from, const std::string& to)
    {
        fs::create_directories(home.path() / to);
        fs::copy(test::FixturesDir() / from, home.path() / to, fs::copy_options::recursive);
    }

    std::vector<QStringList> Rows() const
    {
        std::vector<QStringList> rows;
        const TListView* list = List();
        for (int row = 0; row < list->RowCount(); ++row)
            rows.push_back({Cell(list, row, 0), Cell(list, row, 1), Cell(list, row, 2), Cell(list, row, 3)});
        return rows;
    }

    std::string savedCache;
    std::string savedConfig;
    TBrowseFolderDialog* chooser = nullptr;
};

// "<name> <sha256>" of the rows' files, and of the movies expected.json
// lists for the Wine cache, named as their check-outs are.
std::multiset<std::string> RowMovies(const std::vector<QStringList>& rows)
{
    std::multiset<std::string> movies;
    for (const QStringList& row : rows)
        movies.insert(row[1].toStdString() + " " + test::Sha256Hex(test::TempDir::read(row[3].toStdString())));
    return movies;
}

std::multiset<std::string> WineCacheMovies()
{
    std::multiset<std::string> movies;
    for (const test::ExpectedCacheEntry& e : test::ExpectedCacheEntries("ie_cache")) {
        if (!e.isSwf)
            continue;
        std::string stem = e.url.substr(0, e.url.find('?'));
        stem = stem.substr(stem.rfind('/') + 1);
        stem = stem.substr(0, stem.rfind('.') == std::string::npos ? stem.size() : stem.rfind('.'));
        movies.insert(stem + "[1].swf " + e.decodedSha256);
    }
    return movies;
}

const char* const kWineContent = "AppData/Local/Microsoft/Windows/INetCache/Content.IE5";

TEST_F(CacheScan, AHomeWithoutBrowserCachesListsNothing)
{
    ShowCachePage();
    EXPECT_EQ(List()->RowCount(), 0);
    EXPECT_TRUE(window->FormCloseQuery()) << "not busy";
    EXPECT_EQ(Status(), QStringLiteral("Done"));
}

TEST_F(CacheScan, ListsTheMoviesOfTheBrowsersCachesOnce)
{
    CopyFixture("chromium/Cache_Data", ".cache/chromium/Default/Cache/Cache_Data");
    CopyFixture("firefox/cache2", ".cache/mozilla/firefox/abcd.default-esr/cache2");
    ShowCachePage();

    const std::vector<QStringList> rows = Rows();
    ASSERT_EQ(rows.size(), 16u) << "8 movies in each browser's cache";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QStringList& row = rows[i];
        SCOPED_TRACE(row.join(QStringLiteral(" | ")).toStdString());
        EXPECT_EQ(row[0], QString::number(i + 1));
        EXPECT_TRUE(row[1].endsWith(QStringLiteral("[1].swf")));
        EXPECT_TRUE(row[3].endsWith(QLatin1Char('/') + row[1]));
        EXPECT_EQ(row[2], QString::number(fs::file_size(row[3].toStdString())));
        EXPECT_FALSE(Checked(List(), int(i)));
    }

    // Listed rows stay as they are; an emptied list is listed afresh from 1.
    ShowCachePage();
    EXPECT_EQ(Rows(), rows);
    Control<QAction>("ClearList1")->trigger();
    ShowCachePage();
    EXPECT_EQ(Rows(), rows);
}

TEST_F(CacheScan, ListsTheMoviesOfAWinePrefixAndNothingElse)
{
    // Another prefix name, another user name (with a space), the fixture's folder names.
    CopyFixture("ie-wine/drive_c/users/tessaro", ".local/share/wineprefixes/Old Games/drive_c/users/Jane Doe");
    ShowCachePage();

    const std::vector<QStringList> rows = Rows();
    EXPECT_EQ(rows.size(), 20u) << "the 20 movies; the page and the picture are not listed";
    EXPECT_EQ(RowMovies(rows), WineCacheMovies()) << "each checked out whole, gzip undone";
    for (const QStringList& row : rows)
        EXPECT_EQ(row[2], QString::number(fs::file_size(row[3].toStdString())));
}

TEST_F(CacheScan, AnAddedFolderIsListedAfterTheUsersOwnCachesAndRemembered)
{
    test::SimpleCacheEntryParts own;
    own.key = "1/0/http://127.0.0.1:9/own.swf";
    own.body = test::MinimalMovie({255, 0, 0}, 10, 10);
    own.rawHeaders = test::ChromiumRawHeaders({"HTTP/1.1 200 OK"});
    home.write(".cache/chromium/Default/Cache/Cache_Data/" + test::SimpleCacheEntryName(own.key),
               test::BuildSimpleCacheEntry(own));
    // A copied Windows disk: Chromium's and Firefox's caches of one user,
    // Internet Explorer's of another in the old layout.
    CopyFixture("chromium/Cache_Data", "disk/Users/Jane/AppData/Local/Chromium/User Data/Default/Cache/Cache_Data");
    CopyFixture("firefox/cache2", "disk/Users/Jane/AppData/Local/Mozilla/Firefox/Profiles/ab12.default/cache2");
    CopyFixture(std::string("ie-wine/drive_c/users/tessaro/") + kWineContent,
                "disk/Documents and Settings/Bob/Local Settings/Temporary Internet Files/Content.IE5");
    ShowCachePage();
    ASSERT_EQ(Rows().size(), 1u);

    QTimer answer;
    int chooserShown = 0;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* modal = qobject_cast<TBrowseFolderDialog*>(QApplication::activeModalWidget())) {
            ++chooserShown;
            modal->ChosenFolder = (home.path() / "disk").string() + "/";
            modal->accept();
        }
    });
    answer.start(10);
    Control<QAction>("AddCacheFolder1")->trigger();
    answer.stop();
    EXPECT_EQ(chooserShown, 1);
    ASSERT_TRUE(WaitUntil([&] { return Listed() && List()->RowCount() > 0; }, 20000));

    const auto check = [&](const std::vector<QStringList>& rows) {
        ASSERT_EQ(rows.size(), 1u + 16u + 20u)
            << "the user's own movie, 8 + 8 from the browsers, 20 from the Wine cache";
        EXPECT_EQ(rows[0][1], QStringLiteral("own[1].swf")) << "the user's own caches come first";
        const std::vector<QStringList> last20(rows.end() - 20, rows.end());
        EXPECT_EQ(RowMovies(last20), WineCacheMovies()) << "Internet Explorer's cache after the others";
        for (const QStringList& row : rows)
            EXPECT_EQ(row[2], QString::number(fs::file_size(row[3].toStdString())));
    };
    check(Rows());

    // The next run remembers the folder.
    CloseWindow();
    UseOwnHome();
    OpenWindowWithChooser();
    ShowCachePage();
    check(Rows());

    Control<QAction>("RemoveCacheFolders1")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return Listed(); }, 20000));
    EXPECT_EQ(Rows().size(), 1u);
    CloseWindow();
    UseOwnHome();
    OpenWindowWithChooser();
    ShowCachePage();
    EXPECT_EQ(Rows().size(), 1u) << "forgotten for the next run too";
}

// A cached loader saved with everything it needs: what it loads comes from
// the caches too, under the address each was cached for; what no cache holds
// is named missing, and the web is never asked.
TEST_F(CacheScan, ACachedLoaderIsSavedWithTheCachedMoviesItLoads)
{
    const auto cache = [&](const std::string& address, const std::string& body) {
        test::SimpleCacheEntryParts entry;
        entry.key = "1/0/" + address;
        entry.body = body;
        entry.rawHeaders = test::ChromiumRawHeaders({"HTTP/1.1 200 OK"});
        home.write(".cache/chromium/Default/Cache/Cache_Data/" + test::SimpleCacheEntryName(entry.key),
                   test::BuildSimpleCacheEntry(entry));
    };
    const std::string loader = test::TMovieBuilder()
                                   .Tag(12, test::TMovieBuilder::GetUrl("levels/child.swf", "_level1") +
                                                test::TMovieBuilder::GetUrl("levels/gone.swf", "_level2") + '\0')
                                   .Build();
    const std::string child = test::MinimalMovie({0, 255, 0}, 10, 10);
    cache("http://127.0.0.1:9/g/loader.swf", loader);
    cache("http://127.0.0.1:9/g/levels/child.swf", child);
    ShowCachePage();
    ASSERT_EQ(Rows().size(), 2u);
    const int loaderRow = Rows()[0][1].startsWith(QLatin1String("loader")) ? 0 : 1;
    window->CachePage()->Movies()->SetChecked(loaderRow, true);

    test::TempDir target;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* modal = qobject_cast<TBrowseFolderDialog*>(QApplication::activeModalWidget())) {
            modal->ChosenFolder = target.folder();
            modal->accept();
        }
    });
    answer.start(10);
    Control<QAction>("SaveWithNeeds1")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return Listed() && !window->CachePage()->Copying(); }, 20000));
    answer.stop();
    EXPECT_EQ(Status(), QStringLiteral("Saved 2 files, 1 missing"));
    EXPECT_EQ(test::TempDir::read(target.path() / "127.0.0.1_9/g/loader.swf"), loader);
    EXPECT_EQ(test::TempDir::read(target.path() / "127.0.0.1_9/g/levels/child.swf"), child);
    const std::string manifest = test::TempDir::read(target.path() / "tessaro-manifest.jsonl");
    EXPECT_NE(manifest.find(R"("reason":"not in the caches","sha256":null,"size":0,"status":"missing")"),
              std::string::npos)
        << manifest;
}

// A folder added while the caches are listed: the listing under way, which
// began before it, is held until the folder is saved; its movies come once
// that listing ends, without clearing the list by hand.
TEST_F(CacheScan, AFolderAddedWhileTheCachesAreListedIsListedWhenItEnds)
{
    CopyFixture("chromium/Cache_Data", "disk/Users/Jane/AppData/Local/Chromium/User Data/Default/Cache/Cache_Data");
    struct Gate {
        std::atomic<bool> open{false};
        std::atomic<int> walks{0};
    };
    const auto gate = std::make_shared<Gate>();
    window->CachePage()->SetCacheOpener([gate](const std::atomic<bool>* cancelled) {
        auto cache = TFindCacheEntryThread::DefaultOpener()(cancelled);
        // Held at most 20 s, on the walk's own thread.
        for (int i = 0; gate->walks == 0 && i < 2000 && !gate->open; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ++gate->walks;
        return cache;
    });
    Control<QTabWidget>("PageControl1")->setCurrentIndex(kCachePage);
    ASSERT_TRUE(window->CachePage()->Listing());
    EXPECT_FALSE(window->FormCloseQuery()) << "busy while it lists";

    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* modal = qobject_cast<TBrowseFolderDialog*>(QApplication::activeModalWidget())) {
            modal->ChosenFolder = (home.path() / "disk").string() + "/";
            modal->accept();
        }
    });
    answer.start(10);
    Control<QAction>("AddCacheFolder1")->trigger();
    answer.stop();
    EXPECT_TRUE(window->CachePage()->Listing()) << "the first listing is still held";
    gate->open = true;
    EXPECT_TRUE(WaitUntil([&] { return Idle() && List()->RowCount() == 8; }, 20000))
        << List()->RowCount() << " rows after " << gate->walks << " listings";
    EXPECT_EQ(gate->walks, 2);
    EXPECT_EQ(Cell(List(), 0, 0), QStringLiteral("1"));
}

// A walk that throws keeps what it listed and says why in the status bar; no
// box stops the user.
TEST_F(CacheScan, AListingThatBreaksOffSaysWhyQuietly)
{
    window->CachePage()->SetCacheOpener([](const std::atomic<bool>*) -> std::unique_ptr<UrlCacheEnumeration> {
        throw std::runtime_error("the disk went away\n\x1b[31m");
    });
    int boxes = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++boxes;
            modal->close();
        }
    });
    watch.start(10);
    ShowCachePage();
    watch.stop();
    EXPECT_EQ(boxes, 0);
    EXPECT_EQ(Status(), QStringLiteral("The cache listing broke off: the disk went away  [31m"));
    EXPECT_EQ(List()->RowCount(), 0);
}

TEST(EmbeddedBrowserCache, AMovieTheBrowserFetchedIsListed)
{
    test::LoopbackHttpServer server;
    const std::string movie = test::FwsMovie(3000);
    test::HttpResponse answer;
    answer.body = movie;
    answer.headers = {{"Content-Type", "application/x-shockwave-flash"}, {"Cache-Control", "max-age=3600"}};
    server.route("/movies/fetched.swf", answer);
    server.route("/index.html",
                 "<html><body><script>fetch('/movies/fetched.swf').then(r => r.arrayBuffer())"
                 ".then(() => { document.title = 'fetched'; });</script></body></html>",
                 "text/html");

    TWebBrowser browser;
    browser.resize(400, 300);
    browser.show();
    browser.Navigate(QString::fromStdString(server.origin() + "/index.html"));
    ASSERT_TRUE(WaitUntil([&] { return browser.title() == QStringLiteral("fetched"); }, 30000));

    // The engine writes the entry once it is closed; give it a few seconds.
    const UrlCacheLocations locations = DefaultUrlCacheLocations();
    std::vector<UrlCacheEntry> movies;
    const bool listed = WaitUntil(
        [&] {
            movies.clear();
            auto cache = OpenUrlCacheEnumeration(locations);
            UrlCacheEntry entry;
            while (cache && cache->Next(entry))
                if (fs::path(entry.localFileName).filename() == "fetched[1].swf")
                    movies.push_back(entry);
            if (cache)
                cache->Close();
            return !movies.empty();
        },
        20000);
    ASSERT_TRUE(listed) << "the movie never showed up in " << locations.embeddedCache;
    ASSERT_EQ(movies.size(), 1u);
    EXPECT_EQ(movies[0].size, movie.size());
    EXPECT_EQ(test::TempDir::read(movies[0].localFileName), movie);
    EXPECT_EQ(fs::path(movies[0].localFileName).parent_path().parent_path(), CacheContentFolder());
}

}  // namespace
}  // namespace tessaro
