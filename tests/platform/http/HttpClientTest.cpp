#include "platform/http/HttpClient.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/http/HttpHeaders.h"
#include "support/LoopbackHttpServer.h"

namespace tessaro {
namespace {

using test::BodyCase;
using test::HttpResponse;
using test::LoopbackHttpServer;
using test::PatternBody;
using test::ResponseFor;

// Every test talks to a server of its own through the loopback route.
class HttpClientTest : public testing::Test {
protected:
    void SetUp() override { RouteHttpToLoopback(server.port()); }
    void TearDown() override { RouteHttpToLoopback(0); }

    struct Outcome {
        bool sent = false;
        long status = 0;
        bool hasLength = false;
        std::string length;
        std::string body;
        bool readFailed = false;
        std::size_t largestBlock = 0;
    };

    static Outcome Get(const std::string& host, const std::string& object, bool secure = false,
                       std::size_t blockSize = 1025)
    {
        HttpSession session("HTTPGET", HttpLimits{5, 5});
        HttpConnection connection(session, host, secure ? 443 : 80, secure);
        HttpGetRequest request(connection, object);
        Outcome outcome;
        outcome.sent = request.Send();
        outcome.status = request.StatusCode();
        outcome.hasLength = request.QueryContentLength(outcome.length);
        std::vector<char> block(blockSize);
        for (int guard = 0; guard < 1'000'000; ++guard) {
            std::size_t count = 0;
            if (!request.Read(block.data(), block.size(), count)) {
                outcome.readFailed = true;
                break;
            }
            if (count == 0)
                break;
            outcome.largestBlock = std::max(outcome.largestBlock, count);
            outcome.body.append(block.data(), count);
        }
        return outcome;
    }

    LoopbackHttpServer server;
};

TEST_F(HttpClientTest, SendsOneBareGetWithTheHostAndPathAsWritten)
{
    server.route("/Dir/M.SWF", "movie", "application/x-shockwave-flash");
    const Outcome outcome = Get("Movies.Example", "/Dir/M.SWF?v=2&x=%20y");
    ASSERT_TRUE(outcome.sent);
    EXPECT_EQ(outcome.body, "movie");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& request = requests[0];
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/Dir/M.SWF?v=2&x=%20y");
    EXPECT_EQ(request.header("Host"), "Movies.Example");
    EXPECT_EQ(request.header("User-Agent"), "HTTPGET");
    EXPECT_EQ(request.header("Accept"), "*/*");
    std::vector<std::string> names;
    for (const auto& header : request.headers)
        names.push_back(header.first);
    EXPECT_EQ(names, (std::vector<std::string>{"Host", "User-Agent", "Accept"}));
}

TEST_F(HttpClientTest, PathIsNotNormalised)
{
    server.setFallback([](const test::HttpRequest&) { return HttpResponse{}; });
    Get("h.example", "/a/../b/./c.swf");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].target, "/a/../b/./c.swf");
}

TEST_F(HttpClientTest, PortWrittenInTheHostNameIsKept)
{
    server.route("/m.swf", "x", "text/plain");
    Get("h.example:8080", "/m.swf");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].header("Host"), "h.example:8080");
}

class HttpClientBodies : public HttpClientTest, public testing::WithParamInterface<BodyCase> {};

TEST_P(HttpClientBodies, ArriveWholeInBlocksNoLargerThanAsked)
{
    const BodyCase& c = GetParam();
    const HttpResponse response = ResponseFor(c);
    server.route("/m.swf", response);

    const Outcome outcome = Get("h.example", "/m.swf");
    ASSERT_TRUE(outcome.sent);
    EXPECT_EQ(outcome.status, 200);
    EXPECT_FALSE(outcome.readFailed);
    EXPECT_EQ(outcome.body, response.body);
    EXPECT_LE(outcome.largestBlock, 1025u);
    EXPECT_EQ(outcome.hasLength, c.contentLength && !c.chunked);
    if (outcome.hasLength) {
        EXPECT_EQ(outcome.length, std::to_string(c.size));
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, HttpClientBodies,
                         testing::Values(BodyCase{"Empty", 0, true, false}, BodyCase{"OneByte", 1, true, false},
                                         BodyCase{"ExactlyOneBlock", 1025, true, false},
                                         BodyCase{"Large", 3'000'000, true, false},
                                         BodyCase{"NoLength", 200'000, false, false},
                                         BodyCase{"Chunked", 200'000, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HttpClientTest, CutConnectionFailsTheReadAfterTheBytesThatCame)
{
    HttpResponse cutKnown;
    cutKnown.body = PatternBody(100'000);
    cutKnown.cutAfter = 40'000;
    server.route("/known.swf", cutKnown);
    HttpResponse cutChunked = cutKnown;
    cutChunked.chunked = true;
    server.route("/chunked.swf", cutChunked);

    for (const char* path : {"/known.swf", "/chunked.swf"}) {
        SCOPED_TRACE(path);
        const Outcome outcome = Get("h.example", path);
        EXPECT_TRUE(outcome.readFailed);
        EXPECT_LE(outcome.body.size(), 40'000u);
        EXPECT_EQ(outcome.body, cutKnown.body.substr(0, outcome.body.size()));
    }
}

TEST_F(HttpClientTest, RedirectIsFollowedAndTheFinalAnswerCounts)
{
    HttpResponse moved;
    moved.status = 302;
    moved.reason = "Found";
    moved.headers.emplace_back("Location", "http://other.example/real.swf");
    moved.body = "moved";
    server.route("/old.swf", moved);
    server.route("/real.swf", "the movie", "application/x-shockwave-flash");

    const Outcome outcome = Get("h.example", "/old.swf");
    EXPECT_EQ(outcome.status, 200);
    EXPECT_EQ(outcome.length, "9");
    EXPECT_EQ(outcome.body, "the movie");
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[1].header("Host"), "other.example");
}

TEST_F(HttpClientTest, ErrorAnswerIsStillAnAnswer)
{
    const Outcome outcome = Get("h.example", "/missing.swf");
    EXPECT_TRUE(outcome.sent);
    EXPECT_EQ(outcome.status, 404);
    EXPECT_EQ(outcome.body, "not found");
}

TEST_F(HttpClientTest, NoAnswerMeansNothingToQueryOrRead)
{
    // No host at all, a refused connection, and TLS against a plain server.
    struct Case {
        const char* host;
        bool secure;
        int port;
    };
    LoopbackHttpServer* live = &server;
    int closedPort = 0;
    {
        LoopbackHttpServer gone;
        closedPort = gone.port();
    }
    for (const Case& c :
         {Case{"", false, live->port()}, Case{"h.example", false, closedPort}, Case{"h.example", true, live->port()}}) {
        SCOPED_TRACE(std::string(c.host) + (c.secure ? " secure" : ""));
        RouteHttpToLoopback(c.port);
        HttpSession session("HTTPGET", HttpLimits{5, 2});
        HttpConnection connection(session, c.host, c.secure ? 443 : 80, c.secure);
        HttpGetRequest request(connection, "/m.swf");
        EXPECT_FALSE(request.Send());
        std::string length;
        EXPECT_FALSE(request.QueryContentLength(length));
        EXPECT_EQ(request.StatusCode(), 0);
        char block[16];
        std::size_t count = 99;
        EXPECT_FALSE(request.Read(block, sizeof block, count));
        EXPECT_EQ(count, 0u);
        EXPECT_FALSE(request.ErrorText().empty());
    }
}

TEST_F(HttpClientTest, ProxyComesFromTheEnvironment)
{
    RouteHttpToLoopback(0);
    setenv("http_proxy", server.origin().c_str(), 1);
    server.route("http://movies.example/m.swf", "via proxy", "application/x-shockwave-flash");
    const Outcome outcome = Get("movies.example", "/m.swf");
    unsetenv("http_proxy");
    EXPECT_EQ(outcome.body, "via proxy");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].target, "http://movies.example/m.swf");
}

TEST_F(HttpClientTest, FetchUrlKeepsTheBodyOnlyForAWholeSuccessWithinTheCap)
{
    server.route("/m.swf", "FWS-movie", "application/x-shockwave-flash");
    HttpResponse cut;
    cut.body = PatternBody(50'000);
    cut.cutAfter = 1000;
    server.route("/cut.swf", cut);

    const HttpFetchResult ok = FetchUrl("HTTP://h.example/m.swf#frag", 1024);
    EXPECT_TRUE(ok.ok) << ok.error;
    EXPECT_EQ(ok.body, "FWS-movie");
    EXPECT_EQ(ok.contentType, "application/x-shockwave-flash");
    EXPECT_EQ(server.requests().back().target, "/m.swf");

    const HttpFetchResult tooBig = FetchUrl("http://h.example/m.swf", 4);
    EXPECT_FALSE(tooBig.ok);
    EXPECT_TRUE(tooBig.body.empty());

    const HttpFetchResult missing = FetchUrl("http://h.example/none.swf", 1024);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.status, 404);
    EXPECT_TRUE(missing.body.empty());

    const HttpFetchResult broken = FetchUrl("http://h.example/cut.swf", 1'000'000);
    EXPECT_FALSE(broken.ok);
    EXPECT_FALSE(broken.error.empty());

    FetchUrl("http://h.example?x=1", 1024);
    EXPECT_EQ(server.requests().back().target, "/?x=1");

    EXPECT_FALSE(FetchUrl("ftp://h.example/m.swf", 1024).ok);
}

// Nothing is sent for an address holding a control character, nor to an
// address the request may not reach: the route makes every connection
// loopback, so a request that reaches only public addresses is refused at the
// socket, whatever the name.
TEST_F(HttpClientTest, RefusesControlCharactersAndAddressesOutOfReachBeforeSendingAnything)
{
    server.route("/m.swf", "movie", "application/x-shockwave-flash");
    const struct {
        const char* name;
        std::string host;
        std::string object;
        HttpReach reach;
        std::string error;  // empty: the answer comes
    } rows[] = {
        {"a plain request", "movies.example", "/m.swf", HttpReach::Anywhere, ""},
        {"a NUL in the path", "movies.example", std::string("/m.swf\0.swf", 11), HttpReach::Anywhere, "control"},
        {"an escape in the path", "movies.example", "/m.swf\x1b[2J", HttpReach::Anywhere, "control"},
        {"a line break in the path", "movies.example", "/m.swf\r\nX: y", HttpReach::Anywhere, "control"},
        {"DEL in the path", "movies.example", "/m\x7f.swf", HttpReach::Anywhere, "control"},
        {"a NUL in the host", std::string("movies.example\0.evil", 20), "/m.swf", HttpReach::Anywhere, "control"},
        {"a tab in the host", "movies\t.example", "/m.swf", HttpReach::Anywhere, "control"},
        {"a public-only request to loopback", "movies.example", "/m.swf", HttpReach::PublicOnly,
         "refused: 127.0.0.1 is on loopback"},
        {"a public-only request to a loopback literal", "127.0.0.1", "/m.swf", HttpReach::PublicOnly,
         "refused: 127.0.0.1 is on loopback"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t before = server.requests().size();
        HttpLimits limits{5, 5};
        limits.reach = row.reach;
        HttpSession session("HTTPGET", limits);
        HttpConnection connection(session, row.host, 80, false);
        HttpGetRequest request(connection, row.object);
        const bool sent = request.Send();
        EXPECT_EQ(sent, row.error.empty());
        if (row.error.empty()) {
            EXPECT_EQ(server.requests().size(), before + 1);
            EXPECT_EQ(request.StatusCode(), 200);
        } else {
            EXPECT_EQ(server.requests().size(), before);
            EXPECT_NE(request.ErrorText().find(row.error), std::string::npos) << request.ErrorText();
        }
    }
    const HttpFetchResult viaFetch = FetchUrl(std::string("http://movies.example/m.swf\0.swf", 32), 1024);
    EXPECT_FALSE(viaFetch.ok);
    EXPECT_NE(viaFetch.error.find("control"), std::string::npos) << viaFetch.error;
}

// The heads of one exchange are bounded in lines and in bytes, one past each
// bound failing; a server that sends headers for ever fails the exchange.
TEST_F(HttpClientTest, AnAnswersHeadsAreBoundedAndEndlessHeadersFailTheExchange)
{
    const auto Feed = [](std::size_t fields, std::size_t fieldBytes) {
        HttpHeaderBlock block(true);
        bool ok = block.Add("HTTP/1.1 200 OK\r\n");
        const std::string field = "X: " + std::string(fieldBytes - 5, 'v') + "\r\n";
        for (std::size_t i = 0; ok && i < fields; ++i)
            ok = block.Add(field);
        return ok && block.Add("\r\n") && block.Done();
    };
    constexpr std::size_t kLines = HttpHeaderBlock::kMaxLines;
    constexpr std::size_t kBytes = HttpHeaderBlock::kMaxBytes;
    EXPECT_TRUE(Feed(kLines - 2, 10));
    EXPECT_FALSE(Feed(kLines - 1, 10));
    // Status line 17 bytes, end line 2: the fields make up the rest exactly.
    EXPECT_TRUE(Feed(1, kBytes - 19));
    EXPECT_FALSE(Feed(1, kBytes - 18));

    // Interim answers count against the same bounds.
    HttpHeaderBlock interim(true);
    bool ok = true;
    for (std::size_t i = 0; ok && i <= kLines; ++i)
        ok = interim.Add(i % 2 == 0 ? "HTTP/1.1 100 Continue\r\n" : "\r\n");
    EXPECT_FALSE(ok);
    EXPECT_FALSE(interim.Done());

    // A raw server: a status line, then header lines until the client goes.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::atomic<long> linesSent{0};
    std::thread endless([&] {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            return;
        std::string line = "HTTP/1.1 200 OK\r\n";
        // Bounded all the same: a client that never stops reading ends it.
        for (long i = 0; i < 10'000'000; ++i) {
            if (::send(client, line.data(), line.size(), MSG_NOSIGNAL) < 0)
                break;
            linesSent = i + 1;
            line = "X-Again-" + std::to_string(i) + ": and again\r\n";
        }
        ::close(client);
    });
    RouteHttpToLoopback(ntohs(address.sin_port));
    const HttpFetchResult result = FetchUrl("http://endless.example/m.swf", 1024);
    RouteHttpToLoopback(0);
    endless.join();
    ::close(listener);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("headers are longer than"), std::string::npos) << result.error;
    EXPECT_LT(linesSent.load(), 10'000'000);
}

}  // namespace
}  // namespace tessaro
