#include "app/MirkMainForm.h"

#include <QTabWidget>

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/core/AppPaths.h"
#include "platform/urlcache/UrlCache.h"
#include "platform/browser/BrowserProfile.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/StatusBar.h"
#include "platform/browser/WebBrowser.h"
#include "support/LoopbackHttpServer.h"
#include "ShownWindow.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

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
        UseOwnHome();
        setenv("XDG_CACHE_HOME", (home.path() / ".cache").c_str(), 1);
        OpenWindow();
        ASSERT_TRUE(WaitUntil([&] { return !window->Busy; }, 5000));
    }

    void TearDown() override
    {
        CloseWindow();
        setenv("XDG_CACHE_HOME", savedCache.c_str(), 1);
    }

    // Switches to the cache page and waits for the listing to end.
    void ShowCachePage()
    {
        window->PageControl1->setCurrentIndex(kWebPage);
        window->PageControl1->setCurrentIndex(kCachePage);
        ASSERT_TRUE(WaitUntil([&] { return !window->Busy; }, 20000)) << "the listing never ended";
    }

    void CopyFixture(const std::string& from, const std::string& to)
    {
        fs::create_directories(home.path() / to);
        fs::copy(test::FixturesDir() / from, home.path() / to, fs::copy_options::recursive);
    }

    std::vector<QStringList> Rows() const
    {
        std::vector<QStringList> rows;
        for (int row = 0; row < window->ListView2->RowCount(); ++row)
            rows.push_back({window->ListView2->Text(row, 0), window->ListView2->Text(row, 1),
                            window->ListView2->Text(row, 2), window->ListView2->Text(row, 3)});
        return rows;
    }

    std::string savedCache;
};

TEST_F(CacheScan, AHomeWithoutBrowserCachesListsNothing)
{
    ShowCachePage();
    EXPECT_EQ(window->ListView2->RowCount(), 0);
    EXPECT_FALSE(window->Busy);
    EXPECT_EQ(window->StatusBar1->PanelText(0), QStringLiteral("Done"));
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
        EXPECT_FALSE(window->ListView2->Checked(int(i)));
    }

    // Listed rows stay as they are; an emptied list is listed afresh from 1.
    ShowCachePage();
    EXPECT_EQ(Rows(), rows);
    window->ClearActiveList();
    ShowCachePage();
    EXPECT_EQ(Rows(), rows);
}

TEST(EmbeddedBrowserCache, AMovieTheBrowserFetchedIsListed)
{
    test::LoopbackHttpServer server;
    std::string movie = "FWS\x0a";
    movie.resize(3000, 'm');
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
