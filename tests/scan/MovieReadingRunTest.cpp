// Movies inside movies: the run after a page scan, against a loopback server.

#include "scan/MovieReadingRun.h"

#include "formats/swf/MovieNames.h"
#include "platform/http/HttpClient.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace tessaro {
namespace {

using test::HttpResponse;
using test::LoopbackHttpServer;
using B = test::TMovieBuilder;

constexpr std::uint16_t kDoAction = 12;

std::string Naming(std::initializer_list<std::string_view> names, char signature = 'F')
{
    return B().Tag(kDoAction, B::PushStrings(names)).Build(signature);
}

HttpResponse Movie(std::string bytes, int delayMs = 0)
{
    HttpResponse response;
    response.body = std::move(bytes);
    response.headers = {{"Content-Type", "application/x-shockwave-flash"}};
    response.delayMs = delayMs;
    return response;
}

class MovieReadingRunTest : public testing::Test {
protected:
    void SetUp() override { RouteHttpToLoopback(server.port()); }
    void TearDown() override { RouteHttpToLoopback(0); }

    // Runs to the end; the rows appended, in order. Every report comes on
    // the owner's thread. The page is on loopback unless told otherwise.
    QStringList Run(const QStringList& rows, const TPlayerBases& playerBases = {},
                    const QString& page = QStringLiteral("http://site.test/page/index.html"))
    {
        run = std::make_unique<TMovieReadingRun>(
            &owner, TMovieRows::OfAddresses(rows), page, store,
            [this](const TMovieReadingRun::TReport& report) {
                EXPECT_EQ(QThread::currentThread(), owner.thread());
                const std::lock_guard lock(mutex);
                reports.push_back(report);
            },
            pool, TMovieReadingRun::WebMovieFetcher(page), playerBases);
        EXPECT_TRUE(test::WaitUntil([&] { return Finished(); }, 30000));
        run.reset();
        QStringList appended;
        for (const auto& report : reports)
            for (const TMovieRow& row : report.appended)
                appended += row.address;
        return appended;
    }

    bool Finished()
    {
        const std::lock_guard lock(mutex);
        return !reports.empty() && reports.back().finished;
    }

    int Requests(const std::string& target)
    {
        int count = 0;
        for (const auto& request : server.requests())
            count += request.target == target ? 1 : 0;
        return count;
    }

    LoopbackHttpServer server;
    QObject owner;  // takes the reports
    std::shared_ptr<TMovieReaderPool> pool = std::make_shared<TMovieReaderPool>(&owner);
    std::shared_ptr<TMovieStore> store = std::make_shared<TMovieStore>();
    std::unique_ptr<TMovieReadingRun> run;
    std::mutex mutex;
    std::vector<TMovieReadingRun::TReport> reports;
};

TEST_F(MovieReadingRunTest, AppendsWhatMoviesNameInTheirOrderReadingEachOnce)
{
    // The loader answers last, yet its names come first. Names resolve against
    // the page; "Intro.swf" is the page's row in another case; the chain
    // stops being fetched at its depth bound.
    const std::string loader =
        Naming({"main.swf", "Intro.swf", "http://cdn.test/abs.swf?v=2", "  spaced name.swf"}, 'C');
    server.route("/page/loader.swf", Movie(loader, 400));
    server.route("/page/main.swf", Movie(Naming({"level2.swf", "loader.swf"}, 'Z')));
    server.route("/page/level2.swf", Movie(Naming({"level3.swf"})));
    server.route("/page/level3.swf", Movie(Naming({"level4.swf"})));
    server.route("/page/intro.swf", Movie(Naming({"fromIntro.swf"})));
    server.route("/page/error.swf", "<html>not found</html>", "text/html");
    server.route("/abs.swf", Movie(Naming({"/root.swf"})));

    const QStringList rows = {"http://site.test/page/loader.swf", "http://site.test/page/intro.swf",
                              "http://site.test/page/error.swf", "file:///home/local.swf"};
    const QStringList appended = Run(rows);
    EXPECT_EQ(appended, QStringList({"http://site.test/page/main.swf", "http://cdn.test/abs.swf?v=2",
                                     "http://site.test/page/spaced%20name.swf", "http://site.test/page/fromIntro.swf",
                                     "http://site.test/page/level2.swf", "http://site.test/root.swf",
                                     "http://site.test/page/level3.swf"}));
    for (const char* target : {"/page/loader.swf", "/page/intro.swf", "/page/error.swf", "/page/main.swf",
                               "/abs.swf?v=2", "/page/level2.swf", "/root.swf"})
        EXPECT_EQ(Requests(target), 1) << target;
    EXPECT_EQ(Requests("/page/level3.swf"), 0);

    // Progress only grows, the last report ends the run, and each movie read
    // keeps its bytes and details for its row.
    ASSERT_FALSE(reports.empty());
    for (std::size_t i = 1; i < reports.size(); ++i)
        EXPECT_LE(reports[i - 1].done, reports[i].done);
    EXPECT_EQ(reports.back().done, 9);
    EXPECT_EQ(reports.back().total, 9);
    const auto kept = store->MovieBytes("http://site.test/page/loader.swf");
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(*kept, loader);
    EXPECT_EQ(store->Details("http://site.test/page/main.swf")->compression, MovieCompression::Lzma);
    EXPECT_EQ(store->MovieBytes("http://site.test/page/error.swf"), nullptr);
    EXPECT_FALSE(store->Details("http://site.test/page/error.swf").has_value());
}

// A movie whose element named a base resolves its names there, and so do the
// movies it loads; a movie without one resolves against the page.
TEST_F(MovieReadingRunTest, NamesResolveAgainstTheBaseOfTheirRowsPlayer)
{
    server.route("/page/cdnloader.swf", Movie(Naming({"content.swf"})));
    server.route("/flash/content.swf", Movie(Naming({"more.swf"})));
    server.route("/page/plain.swf", Movie(Naming({"other.swf"})));
    const QStringList appended = Run({"http://site.test/page/cdnloader.swf", "http://site.test/page/plain.swf"},
                                     {{"http://site.test/page/cdnloader.swf", "http://cdn.test/flash/"}});
    EXPECT_EQ(appended, QStringList({"http://cdn.test/flash/content.swf", "http://site.test/page/other.swf",
                                     "http://cdn.test/flash/more.swf"}));
}

// What a fetch may reach and what it keeps, against two loopback servers with
// no route: the page's own address says how far the run reaches, and bytes
// are kept for a row only when every hop stayed on the row's origin. Only an
// answer that is an HTTP error or no movie says the address has no movie; a
// fetch that was refused or never made says nothing of it.
TEST_F(MovieReadingRunTest, ReachesOnlyWhereThePageLetsItAndKeepsOnlyBytesFromTheRowsOrigin)
{
    RouteHttpToLoopback(0);
    LoopbackHttpServer other;
    const std::string here = "http://127.0.0.1:" + std::to_string(server.port());
    const std::string named = Naming({"named.swf"});
    server.route("/m.swf", Movie(named));
    other.route("/m.swf", Movie(named));
    HttpResponse away;
    away.status = 302;
    away.headers = {{"Location", "http://127.0.0.1:" + std::to_string(other.port()) + "/m.swf"}};
    server.route("/away.swf", away);
    HttpResponse within = away;
    within.headers = {{"Location", "/m.swf"}};
    server.route("/within.swf", within);
    server.route("/page.swf", "<html>a page</html>", "text/html");

    const struct {
        const char* name;
        std::string page;
        std::string row;
        bool namesRead;
        bool kept;
        bool noMovie = false;
    } rows[] = {
        {"a page on loopback reaches loopback", here + "/", here + "/m.swf", true, true},
        {"a localhost page reaches loopback", "http://localhost/", here + "/m.swf", true, true},
        {"a redirect within the origin keeps", here + "/", here + "/within.swf", true, true},
        {"a redirect to another port is read, not kept", here + "/", here + "/away.swf", true, false},
        {"a page on the internet reaches no loopback server", "", here + "/m.swf", false, false},
        {"an address with a NUL is not fetched", here + "/", here + std::string("/m.swf\0.swf", 11), false, false},
        {"an address with an escape is not fetched", here + "/", here + "/m.swf\x1b[2J", false, false},
        {"an HTTP error has no movie", here + "/", here + "/missing.swf", false, false, true},
        {"a body that is no movie has none", here + "/", here + "/page.swf", false, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        store = std::make_shared<TMovieStore>();
        reports.clear();
        const std::size_t before = server.requests().size();
        const QString address = QString::fromStdString(row.row);
        const QStringList appended = Run({address}, {}, QString::fromStdString(row.page));
        // Names resolve against the page.
        EXPECT_EQ(appended.size(), row.namesRead ? 1 : 0);
        EXPECT_EQ(store->MovieBytes(address) != nullptr, row.kept);
        EXPECT_EQ(store->NoMovie(address), row.noMovie);
        // Only what answered was asked.
        EXPECT_EQ(server.requests().size() > before, row.namesRead || row.noMovie);
    }
}

TEST_F(MovieReadingRunTest, CancelEndsTheRunWithoutFurtherRows)
{
    server.route("/page/slow.swf", Movie(Naming({"late.swf"}), 1500));
    run = std::make_unique<TMovieReadingRun>(
        &owner, TMovieRows::OfAddresses({"http://site.test/page/slow.swf"}), "http://site.test/page/", store,
        [this](const TMovieReadingRun::TReport& report) {
            const std::lock_guard lock(mutex);
            reports.push_back(report);
        },
        pool, TMovieReadingRun::WebMovieFetcher(QStringLiteral("http://site.test/page/")));
    run->Cancel();
    ASSERT_TRUE(test::WaitUntil([&] { return Finished(); }, 30000));
    run.reset();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].appended.isEmpty());
    EXPECT_EQ(reports[0].done, 0);
}

// A movie naming each of names (by one Push action per 200 of them).
std::string NamingAll(const std::vector<std::string>& names)
{
    B movie;
    for (std::size_t from = 0; from < names.size(); from += 200) {
        std::string pushes;
        for (std::size_t i = from; i < std::min(names.size(), from + 200); ++i)
            pushes += '\0' + B::CString(names[i]);
        movie.Tag(kDoAction, B::Action(0x96, pushes), true);
    }
    return movie.Build();
}

// Runs that share the pool, as the window's successive scans do: the
// second joins the first's reads before the first is dropped, the third
// overlaps it. The server counts what is fetched and how much at once.
TEST_F(MovieReadingRunTest, ThePoolReadsAtMostFourAtOnceAndEachAddressOnceAcrossRuns)
{
    std::atomic<int> atOnce{0};
    std::atomic<int> most{0};
    server.setFallback([&](const test::HttpRequest& request) {
        const int now = ++atOnce;
        for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        --atOnce;
        // Every movie names one of its own, read in turn.
        const std::string path = request.target.substr(request.target.rfind('/') + 1);
        return Movie(path.find("child") == std::string::npos ? NamingAll({"child-" + path}) : NamingAll({}));
    });
    const auto rows = [](int from, int to) {
        QStringList list;
        for (int i = from; i < to; ++i)
            list << QStringLiteral("http://site.test/p/m%1.swf").arg(i);
        return TMovieRows::OfAddresses(list);
    };
    const auto reporter = [this](const TMovieReadingRun::TReport& report) {
        const std::lock_guard lock(mutex);
        reports.push_back(report);
    };
    const QString base = QStringLiteral("http://site.test/p/");
    auto first = std::make_unique<TMovieReadingRun>(
        &owner, rows(0, 10), base, store, [](const auto&) {}, pool, TMovieReadingRun::WebMovieFetcher(base));
    ASSERT_TRUE(test::WaitUntil([&] { return server.requests().size() >= 2; }, 30000));
    run = std::make_unique<TMovieReadingRun>(&owner, rows(0, 14), base, store, reporter, pool,
                                             TMovieReadingRun::WebMovieFetcher(base));
    first.reset();
    std::vector<TMovieReadingRun::TReport> thirdReports;
    std::mutex thirdMutex;
    TMovieReadingRun third(
        &owner, rows(8, 20), base, store,
        [&](const TMovieReadingRun::TReport& report) {
            const std::lock_guard lock(thirdMutex);
            thirdReports.push_back(report);
        },
        pool, TMovieReadingRun::WebMovieFetcher(base));
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            const std::lock_guard lock(thirdMutex);
            return Finished() && !thirdReports.empty() && thirdReports.back().finished;
        },
        30000));

    EXPECT_LE(most, TMovieReaderPool::kMaxReadsAtOnce);
    EXPECT_GE(most, 2);
    std::map<std::string, int> fetches;
    for (const auto& request : server.requests())
        ++fetches[request.target];
    EXPECT_EQ(fetches.size(), 40u);  // 20 movies and the child each names
    for (const auto& [target, count] : fetches)
        EXPECT_EQ(count, 1) << target;
    // Each run lists every child of its rows, whoever read them.
    qsizetype appended = 0;
    for (const auto& report : reports)
        appended += report.appended.size();
    EXPECT_EQ(appended, 14);
    EXPECT_EQ(reports.back().done, 28);
}

// A movie naming 256 movies that each name 256 more: the rows stop at the
// page's bound together with the page's own, the run ends there, and the
// names kept count against the store's bound.
TEST_F(MovieReadingRunTest, ATreeOfLoadersEndsAtTheRowCapWithABoundedStore)
{
    constexpr std::size_t kStoreBytes = 256 * 1024;
    store = std::make_shared<TMovieStore>(kStoreBytes);
    server.setFallback([](const test::HttpRequest& request) {
        const std::string path = request.target.substr(request.target.rfind('/') + 1);
        const std::string stem = path.substr(0, path.size() - 4);
        std::vector<std::string> names;
        for (int i = 0; i < swf::kMaxMovieNames; ++i)
            names.push_back(stem + "-" + std::to_string(i) + ".swf");
        return Movie(NamingAll(names));
    });
    QStringList page;
    for (int i = 0; i < 3; ++i)
        page << QStringLiteral("file:///home/own%1.swf").arg(i);
    page << QStringLiteral("http://site.test/tree/r.swf");
    const QStringList appended = Run(page);

    EXPECT_EQ(page.size() + appended.size(), kMaxPageRows);
    EXPECT_TRUE(reports.back().finished);
    EXPECT_TRUE(reports.back().listFull);
    EXPECT_EQ(appended.first(), QStringLiteral("http://site.test/page/r-0.swf"));
    EXPECT_LE(store->BytesKept(), kStoreBytes);
    EXPECT_GT(store->BytesKept(), kStoreBytes * 3 / 4);
    // The root and the children needed to fill the list, and the few read
    // ahead meanwhile: far from the run's bound of reads.
    const std::size_t needed = 1 + kMaxPageRows / swf::kMaxMovieNames;
    const std::size_t fetched = server.requests().size();
    EXPECT_GE(fetched, needed);
    EXPECT_LE(fetched, 2 * needed);
}

}  // namespace
}  // namespace tessaro
