// What the preview's workers hand the player, against real files and a real
// loopback server: the size cap, redirects only within the movie's origin,
// and how many fetches run at once.

#include "platform/player/PlayerFetchPool.h"
#include "platform/player/PlayerSourceFetch.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <sys/stat.h>

namespace tessaro {
namespace {

using test::HttpResponse;
using test::LoopbackHttpServer;
using test::WaitUntil;

constexpr std::size_t kCap = kMaxPlayerFetchBytes;

HttpResponse RedirectTo(const std::string& location)
{
    HttpResponse response;
    response.status = 302;
    response.reason = "Found";
    response.headers = {{"Location", location}};
    return response;
}

TEST(PlayerFetch, GivesAMovieItsOwnBytesWithinTheCapAndItsOrigin)
{
    test::TempDir dir;
    std::filesystem::resize_file(dir.write("at-cap.swf", ""), kCap);
    std::filesystem::resize_file(dir.write("past-cap.swf", ""), kCap + 1);
    ASSERT_EQ(::mkfifo((dir.path() / "fifo.swf").c_str(), 0600), 0);

    LoopbackHttpServer site;
    LoopbackHttpServer other;
    other.route("/x.swf", "elsewhere", "application/x-shockwave-flash");
    site.route("/at-cap.swf", std::string(kCap, 'a'), "application/x-shockwave-flash");
    site.route("/past-cap.swf", std::string(kCap + 1, 'b'), "application/x-shockwave-flash");
    HttpResponse unannounced;
    unannounced.body = std::string(kCap + 1, 'c');
    unannounced.chunked = true;
    site.route("/past-cap-chunked.swf", unannounced);
    site.route("/movie.swf", "movie", "application/x-shockwave-flash");
    site.route("/same-origin", RedirectTo("/movie.swf"));
    site.route("/other-port", RedirectTo(other.origin() + "/x.swf"));
    site.route("/other-scheme", RedirectTo("https://127.0.0.1:" + std::to_string(site.port()) + "/movie.swf"));
    site.route("/other-host", RedirectTo("http://localhost:" + std::to_string(site.port()) + "/movie.swf"));
    // A chain of redirects: /hopN goes to /hop(N-1), /hop0 to the movie.
    site.route("/hop0", RedirectTo("/movie.swf"));
    for (int n = 1; n <= kMaxPlayerRedirects; ++n)
        site.route("/hop" + std::to_string(n), RedirectTo("hop" + std::to_string(n - 1)));

    // The site is on loopback: a page from there may reach it, one from the
    // internet may not.
    const auto localPage = std::make_shared<PageNetwork>(HttpReach::Anywhere);
    const auto publicPage = std::make_shared<PageNetwork>(HttpReach::PublicOnly);
    const struct {
        const char* name;
        PlayerSource::Kind kind;
        std::string target;  // a file in dir, or a path on the site
        bool ok;
        std::size_t size;
        std::shared_ptr<PageNetwork> page = nullptr;
    } rows[] = {
        {"file at the cap", PlayerSource::Kind::LocalFile, "at-cap.swf", true, kCap},
        {"file one past the cap", PlayerSource::Kind::LocalFile, "past-cap.swf", false, 0},
        {"a FIFO is not read", PlayerSource::Kind::LocalFile, "fifo.swf", false, 0},
        {"a folder is not read", PlayerSource::Kind::LocalFile, "", false, 0},
        {"answer at the cap", PlayerSource::Kind::WebAddress, "/at-cap.swf", true, kCap},
        {"answer one past the cap", PlayerSource::Kind::WebAddress, "/past-cap.swf", false, 0},
        {"answer one past the cap, no length", PlayerSource::Kind::WebAddress, "/past-cap-chunked.swf", false, 0},
        {"redirect within the origin", PlayerSource::Kind::WebAddress, "/same-origin", true, 5},
        {"redirect to another port", PlayerSource::Kind::WebAddress, "/other-port", false, 0},
        {"redirect to another scheme", PlayerSource::Kind::WebAddress, "/other-scheme", false, 0},
        {"redirect to another host name", PlayerSource::Kind::WebAddress, "/other-host", false, 0},
        {"redirects up to the bound", PlayerSource::Kind::WebAddress, "/hop" + std::to_string(kMaxPlayerRedirects - 1),
         true, 5},
        {"one redirect past the bound", PlayerSource::Kind::WebAddress, "/hop" + std::to_string(kMaxPlayerRedirects),
         false, 0},
        {"a page on the internet reaches no loopback server", PlayerSource::Kind::WebAddress, "/refused.swf", false, 0,
         publicPage},
        {"no page is a page on the internet", PlayerSource::Kind::WebAddress, "/refused.swf", false, 0, nullptr},
    };
    const std::atomic<bool> notCancelled{false};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PlayerSource source;
        source.kind = row.kind;
        if (row.kind == PlayerSource::Kind::LocalFile) {
            source.location = QString::fromStdString((dir.path() / row.target).string());
        } else {
            source.location = QString::fromStdString(site.origin() + row.target);
            source.origin = QString::fromStdString(site.origin());
            source.page = row.target == "/refused.swf" ? row.page : localPage;
        }
        const PlayerFetchResult result = FetchPlayerSource(source, notCancelled);
        EXPECT_EQ(result.ok, row.ok) << result.error;
        EXPECT_EQ(static_cast<std::size_t>(result.bytes.size()), row.size);
        if (row.target == "/refused.swf") {
            EXPECT_NE(result.error.find("refused: 127.0.0.1 is on loopback"), std::string::npos) << result.error;
        }
    }
    EXPECT_TRUE(other.requests().empty());
    for (const auto& request : site.requests())
        EXPECT_NE(request.target, "/refused.swf");
}

// One preview connects where its first fetch did: the pin holds the address
// "localhost" resolved to, and a later fetch under a name nothing resolves
// still reaches the server through it.
TEST(PlayerFetch, AMovieKeepsTheAddressItsFirstFetchConnectedTo)
{
    LoopbackHttpServer site;
    site.route("/movie.swf", "movie", "application/x-shockwave-flash");
    const std::string port = std::to_string(site.port());
    const std::atomic<bool> notCancelled{false};
    PlayerSource source;
    source.kind = PlayerSource::Kind::WebAddress;
    source.page = std::make_shared<PageNetwork>(HttpReach::Anywhere);
    source.pin = std::make_shared<HttpAddressPin>();
    source.origin = QString::fromStdString("http://localhost:" + port);
    source.location = source.origin + QStringLiteral("/movie.swf");
    ASSERT_TRUE(FetchPlayerSource(source, notCancelled).ok);
    EXPECT_EQ(source.pin->AddressFor("localhost", site.port()), "127.0.0.1");
    EXPECT_EQ(source.pin->AddressFor("localhost", site.port() + 1), "");

    source.pin = std::make_shared<HttpAddressPin>();
    source.pin->Offer("pinned.invalid", site.port(), "127.0.0.1");
    source.pin->Offer("pinned.invalid", site.port(), "127.0.0.2");  // the first address stays
    source.origin = QString::fromStdString("http://pinned.invalid:" + port);
    source.location = source.origin + QStringLiteral("/movie.swf");
    const PlayerFetchResult pinned = FetchPlayerSource(source, notCancelled);
    EXPECT_TRUE(pinned.ok) << pinned.error;
    EXPECT_EQ(pinned.bytes, "movie");
    EXPECT_EQ(source.pin->AddressFor("pinned.invalid", site.port()), "127.0.0.1");
}

// The server holds every request until told; the pool never has more than
// its workers in flight, a full waiting line refuses the next fetch, and
// every answer comes on the owner's thread.
TEST(PlayerFetch, RunsAFixedNumberAtOnceAndBoundsTheWaitingLine)
{
    std::mutex mutex;
    std::condition_variable changed;
    int inFlight = 0;
    int mostInFlight = 0;
    bool released = false;
    LoopbackHttpServer site;
    site.setFallback([&](const test::HttpRequest&) {
        std::unique_lock lock(mutex);
        mostInFlight = std::max(mostInFlight, ++inFlight);
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(30), [&] { return released; });
        --inFlight;
        HttpResponse response;
        response.body = "movie";
        return response;
    });

    int succeeded = 0;
    int cancelled = 0;
    bool onOwnersThread = true;
    QObject owner;
    {
        PlayerFetchPool pool(&owner);
        const auto submit = [&](int n, std::uint64_t movie) {
            PlayerSource source{PlayerSource::Kind::WebAddress,
                                QString::fromStdString(site.origin() + "/m" + std::to_string(n) + ".swf"),
                                QString::fromStdString(site.origin()),
                                movie,
                                std::make_shared<PageNetwork>(HttpReach::Anywhere),
                                nullptr};
            return pool.Submit(source, [&](PlayerFetchResult result) {
                onOwnersThread = onOwnersThread && QThread::currentThread() == owner.thread();
                ++(result.ok ? succeeded : cancelled);
            });
        };
        // One more than the workers: the last waits.
        const int running = PlayerFetchPool::kWorkers;
        for (int n = 0; n <= running; ++n)
            ASSERT_TRUE(submit(n, 1));
        {
            std::unique_lock lock(mutex);
            ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return inFlight == running; }));
            // Give a fifth worker, if there were one, time to show.
            changed.wait_for(lock, std::chrono::milliseconds(500), [&] { return inFlight > running; });
        }
        // Fill the waiting line, then one past it; one is the player's own
        // (movie 0), asked for before any movie was shown.
        for (std::size_t n = 1; n < PlayerFetchPool::kMaxWaiting; ++n)
            ASSERT_TRUE(submit(100 + static_cast<int>(n), n == 1 ? 0 : 2));
        EXPECT_FALSE(submit(999, 2));
        // The first movie shown replaces none: the player's own file waits on.
        pool.CancelMovie(0);
        // The movie replaced: its waiting fetches end at once.
        pool.CancelMovie(2);
        EXPECT_TRUE(WaitUntil([&] { return cancelled == static_cast<int>(PlayerFetchPool::kMaxWaiting) - 2; }, 10000));
        {
            std::lock_guard lock(mutex);
            released = true;
        }
        changed.notify_all();
        ASSERT_TRUE(WaitUntil([&] { return succeeded == running + 2; }, 30000));
    }
    EXPECT_TRUE(onOwnersThread);
    EXPECT_EQ(mostInFlight, PlayerFetchPool::kWorkers);
    EXPECT_EQ(site.requests().size(), static_cast<std::size_t>(PlayerFetchPool::kWorkers + 2));
}

}  // namespace
}  // namespace tessaro
