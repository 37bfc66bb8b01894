#include "download/HttpGetThread.h"

#include <QObject>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/http/HttpClient.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

namespace tessaro {
namespace {

using test::BodyCase;
using test::HttpResponse;
using test::LoopbackHttpServer;
using test::PatternBody;
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

    static DownloadRun Download(const std::string& url, const std::string& target)
    {
        DownloadRun run;
        QObject receiver;
        auto worker = MakeWorker<THttpGetThread>(&receiver, url, target,
                                                 [&run](int percent) { run.progress.push_back(percent); });
        worker->OnTerminate = [&run](TThread* sender) {
            run.outcome = static_cast<THttpGetThread*>(sender)->Outcome();
            run.ended = true;
        };
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

TEST_P(HttpGetThreadBodies, SavedByteForByteWithOneProgressCallPerBlock)
{
    const BodyCase& c = GetParam();
    const HttpResponse response = ResponseFor(c);
    server.route("/m.swf", response);

    const std::string target = dir.folder() + "m.swf";
    const DownloadRun run = Download("http://movies.example/m.swf", target);
    ASSERT_TRUE(run.outcome.Saved) << run.outcome.Reason;
    EXPECT_EQ(TempDir::read(target), response.body);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"m.swf"});

    // Blocks are at most 1025 bytes, so at least this many calls; one per block.
    EXPECT_GE(run.progress.size(), (c.size + 1024) / 1025);
    EXPECT_LE(run.progress.size(), c.size);
    EXPECT_TRUE(std::is_sorted(run.progress.begin(), run.progress.end()));
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
                                         BodyCase{"Chunked", 300'000, false, true}, BodyCase{"Empty", 0, true, false},
                                         BodyCase{"OneBlock", 1025, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HttpGetThreadTest, IncompleteAnswersNeverReplaceAnOlderFile)
{
    HttpResponse notFound;
    notFound.status = 404;
    notFound.reason = "Not Found";
    notFound.body = "<html>gone</html>";
    server.route("/missing.swf", notFound);
    HttpResponse cut;
    cut.body = PatternBody(200'000);
    cut.cutAfter = 70'000;
    server.route("/cut.swf", cut);
    HttpResponse cutChunked = cut;
    cutChunked.chunked = true;
    server.route("/cutchunked.swf", cutChunked);
    HttpResponse shortBody;  // promises more than it sends, then closes cleanly
    shortBody.body = PatternBody(5000);
    shortBody.declaredLength = 9000;
    server.route("/short.swf", shortBody);

    for (const char* path : {"/missing.swf", "/cut.swf", "/cutchunked.swf", "/short.swf"}) {
        SCOPED_TRACE(path);
        TempDir folder;
        const std::string target = folder.folder() + "movie.swf";
        folder.write("movie.swf", "older movie");
        const DownloadRun run = Download(std::string("http://movies.example") + path, target);
        EXPECT_FALSE(run.outcome.Saved);
        EXPECT_FALSE(run.outcome.Reason.empty());
        EXPECT_EQ(TempDir::read(target), "older movie");
        EXPECT_EQ(Entries(folder), std::vector<std::string>{"movie.swf"});

        TempDir empty;
        Download(std::string("http://movies.example") + path, empty.folder() + "movie.swf");
        EXPECT_TRUE(Entries(empty).empty());
    }
    EXPECT_NE(Download("http://movies.example/missing.swf", dir.folder() + "x.swf").outcome.Reason.find("404"),
              std::string::npos);
}

TEST_F(HttpGetThreadTest, TargetThatCannotBeWrittenFailsAndStillEnds)
{
    server.route("/m.swf", "movie", "application/x-shockwave-flash");
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

TEST_F(HttpGetThreadTest, AddressReachesTheWireAsWritten)
{
    server.setFallback([](const test::HttpRequest&) {
        HttpResponse response;
        response.body = "movie";
        return response;
    });
    struct Case {
        const char* url;
        const char* host;
        const char* target;
    };
    const Case cases[] = {
        {"HTTP://Movies.Example/Dir/M.SWF", "Movies.Example", "/Dir/M.SWF"},
        {"http://movies.example:8080/m.swf", "movies.example:8080", "/m.swf"},
        {"http://movies.example/dir/m.swf?v=2&w=a%20b", "movies.example", "/dir/m.swf?v=2&w=a%20b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const DownloadRun run = Download(c.url, dir.folder() + "m.swf");
        EXPECT_TRUE(run.outcome.Saved) << run.outcome.Reason;
        const auto last = server.requests().back();
        EXPECT_EQ(last.header("Host"), c.host);
        EXPECT_EQ(last.target, c.target);
    }
}

TEST_F(HttpGetThreadTest, NoHostOrNoTlsPeerFailsWithoutAFile)
{
    server.route("/m.swf", "movie", "application/x-shockwave-flash");
    // "http://m.swf" has no "/" after the host: no host name, nothing to ask.
    // A secure address is spoken to with TLS, which a plain server cannot answer.
    for (const char* url : {"http://m.swf", "https://movies.example/m.swf"}) {
        SCOPED_TRACE(url);
        const DownloadRun run = Download(url, dir.folder() + "m.swf");
        EXPECT_FALSE(run.outcome.Saved);
        EXPECT_FALSE(std::filesystem::exists(dir.folder() + "m.swf"));
    }
}

TEST(HttpGetThreadRules, SplitUrl)
{
    struct Row {
        const char* url;
        const char* host;
        const char* object;
        bool secure;
    };
    const Row rows[] = {
        {"http://h/m.swf", "h", "/m.swf", false},
        {"HTTP://H/M.SWF", "H", "/M.SWF", false},
        {"http://h:8080/m.swf", "h:8080", "/m.swf", false},
        {"http://h/dir/m.swf?v=2#top", "h", "/dir/m.swf?v=2#top", false},
        {"http://h.swf", "", "h.swf", false},
        {"https://h/a/m.swf", "h", "/a/m.swf", true},
        {"HTTPS://H/m.swf?u=http://x/", "H", "/m.swf?u=http://x/", true},
        // "http://" anywhere still costs the first seven characters.
        {"xxxxxxxhttp://h/m.swf", "http:", "//h/m.swf", false},
        {"h/m.swf", "h", "/m.swf", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        const auto parts = THttpGetThread::SplitUrl(row.url);
        EXPECT_EQ(parts.HostName, row.host);
        EXPECT_EQ(parts.ObjectName, row.object);
        EXPECT_EQ(parts.Secure, row.secure);
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
