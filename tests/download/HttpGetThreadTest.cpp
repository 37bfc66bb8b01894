#include "download/HttpGetThread.h"

#include "platform/http/HttpClient.h"
#include "support/FileSizeLimit.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"
#include "support/TestMovies.h"

#include <QObject>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tessaro {
namespace {

using test::BodyCase;
using test::FwsMovie;
using test::HttpResponse;
using test::LoopbackHttpServer;
using test::ResponseFor;
using test::TempDir;
using test::WaitUntil;

struct DownloadRun {
    bool ended = false;
    DownloadOutcome outcome;
    std::vector<int> progress;
};

class HttpGetThreadTest : public testing::Test {
protected:
    void SetUp() override { RouteHttpToLoopback(server.port()); }
    void TearDown() override { RouteHttpToLoopback(0); }

    static DownloadRun Download(const std::string& url, const std::string& target, HttpLimits limits = {},
                                std::shared_ptr<const std::string> kept = nullptr)
    {
        DownloadRun run;
        QObject owner;
        const Job job = Job::Start(&owner,
                                   THttpGetThread(
                                       HttpAddress(QString::fromStdString(url)), target,
                                       [&run](int percent) { run.progress.push_back(percent); }, limits, kept),
                                   [&run](const JobEnd<DownloadOutcome>& end) {
                                       run.outcome = end.value;
                                       run.ended = true;
                                   });
        EXPECT_TRUE(WaitUntil([&run] { return run.ended; }, 20000)) << url;
        return run;
    }

    // Names in the folder other than the ones expected: a left-over
    // temporary file shows up here.
    static std::vector<std::string> Entries(const TempDir& dir)
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    LoopbackHttpServer server;
    TempDir dir;
};

class HttpGetThreadBodies : public HttpGetThreadTest, public testing::WithParamInterface<BodyCase> {};

TEST_P(HttpGetThreadBodies, SavedByteForByteWithProgressOnlyWhenItsFigureChanges)
{
    const BodyCase& c = GetParam();
    HttpResponse response = ResponseFor(c);
    response.body = FwsMovie(c.size);
    server.route("/m.swf", response);

    const std::string target = dir.folder() + "m.swf";
    const DownloadRun run = Download("http://movies.example/m.swf", target);
    ASSERT_TRUE(run.outcome.Saved) << run.outcome.Reason;
    EXPECT_EQ(TempDir::read(target), response.body);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"m.swf"});

    // Every figure handed over differs from the one before and grows: at most
    // one call per percent, however many blocks the body took.
    EXPECT_LE(run.progress.size(), 101u);
    EXPECT_TRUE(std::adjacent_find(run.progress.begin(), run.progress.end(), std::greater_equal<int>()) ==
                run.progress.end());
    if (c.size == 0) {
        EXPECT_TRUE(run.progress.empty());
    } else if (c.contentLength && !c.chunked) {
        EXPECT_EQ(run.progress.back(), 100);
    } else {
        // Without a length the bar moves with the bytes but never claims the end.
        EXPECT_GT(run.progress.back(), 0);
        EXPECT_LT(run.progress.back(), 100);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, HttpGetThreadBodies,
                         testing::Values(BodyCase{"Normal", 300'000, true, false},
                                         BodyCase{"NoContentLength", 300'000, false, false},
                                         BodyCase{"Chunked", 300'000, false, true},
                                         BodyCase{"HeaderOnly", 8, true, false},
                                         BodyCase{"OneBlock", 1025, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The movie's bytes with another file length in its header.
std::string Declaring(std::string movie, std::uint32_t length)
{
    for (int i = 0; i < 4; ++i)
        movie[std::size_t(4 + i)] = static_cast<char>((length >> (8 * i)) & 0xff);
    return movie;
}

// Players read a movie as far as its header says; the file saved is still
// the body as served, whatever follows that length.
TEST_F(HttpGetThreadTest, AMovieLongerThanItsHeaderSaysIsSavedAsServed)
{
    const std::string padding(200'000, '\0');
    const test::TMovieBuilder movie = test::TMovieBuilder().Tag(9, std::string("\x10\x20\x30", 3));
    const std::string cws = movie.Build('C');
    struct Row {
        const char* name;
        std::string body;
        bool contentLength = true;
        bool kept = false;  // bytes kept from reading the page's movies
    };
    const Row rows[] = {
        {"FWS padded", FwsMovie(36) + padding},
        {"FWS padded, no Content-Length", FwsMovie(36) + padding, false},
        {"FWS padded, kept", FwsMovie(36) + padding, true, true},
        {"CWS padded after its stream", cws + padding},
        {"CWS inflating past its length", Declaring(cws, 20) + padding},
        {"ZWS padded after its stream", movie.Build('Z') + padding},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HttpResponse response;
        response.body = row.body;
        response.contentLength = row.contentLength;
        server.route("/padded.swf", response);
        const std::string target = dir.folder() + "padded.swf";
        const DownloadRun run = Download("http://movies.example/padded.swf", target, {},
                                         row.kept ? std::make_shared<const std::string>(row.body) : nullptr);
        ASSERT_TRUE(run.outcome.Saved) << run.outcome.Reason;
        EXPECT_EQ(TempDir::read(target), row.body);
        EXPECT_EQ(Entries(dir), std::vector<std::string>{"padded.swf"});
    }
}

// Every answer that is not a whole movie fails with its reason, leaves an
// older file as it was and leaves nothing behind.
TEST_F(HttpGetThreadTest, AnswersThatAreNotAWholeMovieNeverReplaceAnOlderFile)
{
    HttpResponse notFound;
    notFound.status = 404;
    notFound.reason = "Not Found";
    notFound.body = "<html>gone</html>";
    server.route("/missing.swf", notFound);
    HttpResponse cut;
    cut.body = FwsMovie(200'000);
    cut.cutAfter = 70'000;
    server.route("/cut.swf", cut);
    HttpResponse cutChunked = cut;
    cutChunked.chunked = true;
    server.route("/cutchunked.swf", cutChunked);
    HttpResponse shortBody;  // promises more than it sends, then closes cleanly
    shortBody.body = FwsMovie(5000);
    shortBody.declaredLength = 9000;
    server.route("/short.swf", shortBody);
    // As long as its Content-Length says, shorter than its header says.
    server.route("/shortmovie.swf", FwsMovie(5000, 9000), "application/x-shockwave-flash");
    server.route("/page.swf", "<html><body>Server error</body></html>", "text/html; charset=utf-8");
    HttpResponse cutUnannounced;  // no Content-Length: only the movie's header can tell
    cutUnannounced.body = FwsMovie(100'087).substr(0, 5000);
    cutUnannounced.contentLength = false;
    server.route("/unannounced.swf", cutUnannounced);
    server.route("/empty.swf", "", "application/x-shockwave-flash");
    server.route("/huge.swf", FwsMovie(2000, 600u << 20), "application/x-shockwave-flash");
    HttpResponse drip;
    drip.body = FwsMovie(100);
    drip.dripMs = 250;  // four bytes a second: alive by a one-byte bound, far below 1 KiB/s
    server.route("/drip.swf", drip);
    server.route("/plain.swf", FwsMovie(300), "application/x-shockwave-flash");
    server.setFallback([](const test::HttpRequest& request) {
        // /hop<n> sends on to /hop<n+1> until /hop11, which is a movie.
        HttpResponse response;
        const int hop = std::atoi(request.target.c_str() + 4);
        if (hop >= 11) {
            response.body = FwsMovie(400);
        } else {
            response.status = 302;
            response.reason = "Found";
            response.headers = {{"Location", "/hop" + std::to_string(hop + 1)}};
        }
        return response;
    });
    LoopbackHttpServer secure(LoopbackHttpServer::Transport::Tls);
    RouteHttpsToLoopback(secure.port(), secure.certificatePem());
    HttpResponse downgrade;
    downgrade.status = 302;
    downgrade.reason = "Found";
    downgrade.headers = {{"Location", "http://movies.example/plain.swf"}};
    secure.route("/downgrade.swf", downgrade);
    secure.route("/secure.swf", FwsMovie(500), "application/x-shockwave-flash");

    HttpLimits impatient;
    impatient.stallTimeoutSeconds = 2;
    struct Row {
        const char* name;
        const char* url;
        const char* reason;  // what the tooltip begins with
        HttpLimits limits;
        // Bytes kept from reading the page's movies: written instead of asking the server.
        std::shared_ptr<const std::string> kept = nullptr;
    };
    const Row rows[] = {
        {"not found", "http://movies.example/missing.swf", "the server answered 404", {}},
        {"connection cut", "http://movies.example/cut.swf", "the transfer broke off after", {}},
        {"chunks cut", "http://movies.example/cutchunked.swf", "the transfer broke off after", {}},
        {"shorter than its Content-Length", "http://movies.example/short.swf", "the transfer broke off after", {}},
        {"shorter than its header", "http://movies.example/shortmovie.swf", "cut short: 5,000 of 9,000 bytes", {}},
        {"error page with 200", "http://movies.example/page.swf", "not a Flash movie (text/html)", {}},
        {"cut without Content-Length",
         "http://movies.example/unannounced.swf",
         "cut short: 5,000 of 100,087 bytes",
         {}},
        {"empty", "http://movies.example/empty.swf", "not a Flash movie", {}},
        {"past the cap", "http://movies.example/huge.swf", "too large: 629,145,600 bytes, at most 536,870,912", {}},
        {"a drip", "http://movies.example/drip.swf", "the transfer broke off after", impatient},
        {"https to http", "https://movies.example/downgrade.swf", "no answer from movies.example", {}},
        {"eleven redirects", "http://movies.example/hop0", "no answer from movies.example", {}},
        {"kept bytes cut short",
         "http://movies.example/plain.swf",
         "cut short: 5,000 of 100,087 bytes",
         {},
         std::make_shared<const std::string>(FwsMovie(100'087).substr(0, 5000))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir folder;
        const std::string target = folder.folder() + "movie.swf";
        folder.write("movie.swf", "older movie");
        const DownloadRun run = Download(row.url, target, row.limits, row.kept);
        EXPECT_FALSE(run.outcome.Saved);
        EXPECT_EQ(run.outcome.Reason.rfind(row.reason, 0), 0u) << run.outcome.Reason;
        EXPECT_EQ(TempDir::read(target), "older movie");
        EXPECT_EQ(Entries(folder), std::vector<std::string>{"movie.swf"});

        TempDir empty;
        Download(row.url, empty.folder() + "movie.swf", row.limits, row.kept);
        EXPECT_TRUE(Entries(empty).empty());
    }
    for (const auto& request : server.requests())
        EXPECT_NE(request.target, "/plain.swf") << "a secure address was followed, or kept bytes fetched again";

    // A whole kept movie is saved as it is, without asking the server.
    const auto kept = std::make_shared<const std::string>(FwsMovie(777));
    const DownloadRun fromKept = Download("http://movies.example/plain.swf", dir.folder() + "kept.swf", {}, kept);
    EXPECT_TRUE(fromKept.outcome.Saved) << fromKept.outcome.Reason;
    EXPECT_EQ(TempDir::read(dir.folder() + "kept.swf"), *kept);
    EXPECT_EQ(fromKept.progress, std::vector<int>{100});
    for (const auto& request : server.requests())
        EXPECT_NE(request.target, "/plain.swf");

    // One redirect fewer, plain http and the secure server itself still save.
    for (const char* url :
         {"http://movies.example/hop1", "http://movies.example/plain.swf", "https://movies.example/secure.swf"}) {
        SCOPED_TRACE(url);
        EXPECT_TRUE(Download(url, dir.folder() + "m.swf").outcome.Saved);
    }
    RouteHttpsToLoopback(0, {});
}

// Wherever a download waits, for headers that do not come or in a body that
// drips just fast enough for the client's low-speed bound, a cancel ends it and
// so does the owner's stop: the older file stays and nothing is left.
TEST_F(HttpGetThreadTest, AStopOrTheOwnersEndFinishesADownloadWhereverItWaits)
{
    HttpResponse drip;
    drip.body = FwsMovie(8u << 20);  // two hours at this speed
    drip.dripMs = 10;
    drip.dripBytes = 12;  // about 1,200 bytes a second
    server.route("/drip.swf", drip);
    HttpResponse late;
    late.delayMs = 120'000;
    late.body = FwsMovie(100);
    server.route("/late.swf", late);

    enum class End { Cancel, OwnerStops };
    struct Row {
        const char* name;
        const char* url;
        bool bodyStarted;  // wait for a first block before the end
        End end;
    };
    const Row rows[] = {
        {"a drip, cancelled", "http://movies.example/drip.swf", true, End::Cancel},
        {"no headers, cancelled", "http://movies.example/late.swf", false, End::Cancel},
        {"a drip, owner stops it", "http://movies.example/drip.swf", true, End::OwnerStops},
        {"no headers, owner stops it", "http://movies.example/late.swf", false, End::OwnerStops},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir folder;
        folder.write("movie.swf", "older movie");
        const std::size_t asked = server.requests().size();
        DownloadRun run;
        QObject owner;
        Job job = Job::Start(&owner,
                             THttpGetThread(HttpAddress(QString::fromUtf8(row.url)), folder.folder() + "movie.swf",
                                            [&run](int percent) { run.progress.push_back(percent); }),
                             [&run](const JobEnd<DownloadOutcome>& end) {
                                 run.outcome = end.value;
                                 run.ended = true;
                             });
        ASSERT_TRUE(WaitUntil(
            [&] { return server.requests().size() > asked && (!row.bodyStarted || !run.progress.empty()); }, 10000));

        if (row.end == End::Cancel) {
            job.Cancel();
            EXPECT_TRUE(WaitUntil([&run] { return run.ended; }, 1000));
            EXPECT_FALSE(run.outcome.Saved);
            EXPECT_EQ(run.outcome.Reason, THttpGetThread::kStoppedReason);
        } else {
            // Stopped off this thread, so a stop that hangs fails the bounded
            // wait instead of the whole test program.
            std::atomic<bool> gone{false};
            std::thread stopper([&] {
                job.Stop();
                gone = true;
            });
            EXPECT_TRUE(WaitUntil([&gone] { return gone.load(); }, 1000));
            stopper.join();
            EXPECT_FALSE(run.ended);
        }
        EXPECT_EQ(TempDir::read(folder.path() / "movie.swf"), "older movie");
        EXPECT_EQ(Entries(folder), std::vector<std::string>{"movie.swf"});
    }
}

TEST_F(HttpGetThreadTest, TargetThatCannotBeWrittenFailsAndStillEnds)
{
    server.route("/m.swf", FwsMovie(100), "application/x-shockwave-flash");
    dir.write("plainfile", "x");
    const std::string tooLong(300, 'n');
    for (const std::string& target :
         {dir.folder() + "no/such/folder/m.swf", dir.folder() + "plainfile/m.swf", dir.folder() + tooLong + ".swf"}) {
        SCOPED_TRACE(target);
        const DownloadRun run = Download("http://movies.example/m.swf", target);
        EXPECT_TRUE(run.ended);
        EXPECT_FALSE(run.outcome.Saved);
        EXPECT_FALSE(run.outcome.Reason.empty());
        std::error_code error;
        EXPECT_FALSE(std::filesystem::exists(target, error));
    }
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"plainfile"});
}

// A file-size limit makes the buffered writes fail, as a full disk would:
// part-way through a long body, and only at the last hand-over for a body
// shorter than the buffer. Either way the older file stays and nothing is left.
TEST_F(HttpGetThreadTest, AWriteThatBreaksOffKeepsTheOlderFile)
{
    struct Row {
        std::size_t bodyBytes;
        rlim_t fileLimit;
    };
    for (const Row row : {Row{300'000, 100'000}, Row{20'000, 4'096}}) {
        SCOPED_TRACE(row.bodyBytes);
        server.route("/m.swf", FwsMovie(row.bodyBytes), "application/x-shockwave-flash");
        const std::string target = dir.folder() + "m.swf";
        dir.write("m.swf", "old");

        std::optional<test::FileSizeLimit> limit(std::in_place, row.fileLimit);
        ASSERT_TRUE(limit->Set());
        const DownloadRun run = Download("http://movies.example/m.swf", target);
        limit.reset();

        EXPECT_TRUE(run.ended);
        EXPECT_FALSE(run.outcome.Saved);
        EXPECT_FALSE(run.outcome.Reason.empty());
        EXPECT_EQ(TempDir::read(target), "old");
        EXPECT_EQ(Entries(dir), std::vector<std::string>{"m.swf"});
    }
}

// The address reaches the client whole: its port, path and query as written.
TEST_F(HttpGetThreadTest, AddressReachesTheWireAsWritten)
{
    server.setFallback([](const test::HttpRequest&) {
        HttpResponse response;
        response.body = FwsMovie(100);
        return response;
    });
    const DownloadRun run = Download("HTTP://Movies.Example:8080/Dir/M.SWF?v=2&w=a%20b#top", dir.folder() + "m.swf");
    EXPECT_TRUE(run.outcome.Saved) << run.outcome.Reason;
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests().back().header("Host"), "movies.example:8080");
    EXPECT_EQ(server.requests().back().target, "/Dir/M.SWF?v=2&w=a%20b");
}

TEST_F(HttpGetThreadTest, NoHostNoHttpOrNoTlsPeerFailsWithoutAFile)
{
    server.route("/m.swf", "movie", "application/x-shockwave-flash");
    // No host and no http: nothing to ask. A secure address is spoken to with
    // TLS, which a plain server cannot answer.
    for (const char* url : {"http:///m.swf", "ftp://movies.example/m.swf", "https://movies.example/m.swf"}) {
        SCOPED_TRACE(url);
        const DownloadRun run = Download(url, dir.folder() + "m.swf");
        EXPECT_FALSE(run.outcome.Saved);
        EXPECT_EQ(run.outcome.Reason.rfind("no answer from ", 0), 0u) << run.outcome.Reason;
        EXPECT_FALSE(std::filesystem::exists(dir.folder() + "m.swf"));
    }
}

TEST(HttpGetThreadRules, ProgressPercent)
{
    struct Row {
        std::uint64_t read;
        std::int64_t length;
        int percent;
    };
    const Row rows[] = {
        {512, 1024, 50},
        {513, 1024, 51},
        {1, 3, 34},
        {3, 3, 100},
        {1025, 1025, 100},
        {0, 1024, 0},
        {1, 200, 1},  // the half added before rounding, then half to even
        {2'000'000'000, 4'000'000'000, 50},
    };
    for (const Row& row : rows)
        EXPECT_EQ(THttpGetThread::ProgressPercent(row.read, row.length), row.percent) << row.read << "/" << row.length;

    // Unknown length: grows with the bytes, never reaches 100.
    int last = 0;
    for (std::uint64_t read : {1025ull, 100'000ull, 1'000'000ull, 50'000'000ull, 4'000'000'000ull}) {
        const int percent = THttpGetThread::ProgressPercent(read, 0);
        EXPECT_GE(percent, last) << read;
        EXPECT_LT(percent, 100) << read;
        last = percent;
    }
    EXPECT_GT(last, 90);
}

}  // namespace
}  // namespace tessaro
