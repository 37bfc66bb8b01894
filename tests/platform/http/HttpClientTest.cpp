#include "platform/http/HttpClient.h"

#include "platform/http/HttpHeaders.h"
#include "support/LoopbackHttpServer.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

    static HttpRequest RequestFor(const char* address, HttpLimits limits = HttpLimits{5, 5})
    {
        HttpRequest request;
        request.address = HttpAddress(QString::fromUtf8(address));
        request.limits = limits;
        return request;
    }

    static Outcome Get(const char* address, std::size_t blockSize = 1025)
    {
        HttpExchange request(RequestFor(address));
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

// One bare GET whatever the address: the path as the page wrote it (not
// normalised, "%2F" kept, a space escaped as a browser would), the port
// written in it, the fragment left out.
TEST_F(HttpClientTest, SendsOneBareGetWithTheAddressAsWritten)
{
    server.setFallback([](const test::HttpRequest&) { return HttpResponse{}; });
    const struct {
        const char* address;
        const char* host;
        const char* target;
    } rows[] = {
        {"HTTP://Movies.Example/Dir/M.SWF?v=2&x=%20y", "movies.example", "/Dir/M.SWF?v=2&x=%20y"},
        {"http://h.example/a/../b/./c.swf", "h.example", "/a/../b/./c.swf"},
        {"http://h.example//twice//m.swf", "h.example", "//twice//m.swf"},
        {"http://h.example/a%2Fb/%7Eme/%zz.swf?%", "h.example", "/a%2Fb/~me/%25zz.swf?%25"},
        {"http://h.example/a b.swf?q=a b", "h.example", "/a%20b.swf?q=a%20b"},
        {"http://h.example/\u00e9t\u00e9.swf", "h.example", "/%C3%A9t%C3%A9.swf"},
        {"http://h.example:8080/m.swf", "h.example:8080", "/m.swf"},
        {"http://[::1]:8080/m.swf", "[::1]:8080", "/m.swf"},
        {"http://h.example/m.swf#frag", "h.example", "/m.swf"},
        {"http://h.example?x=1", "h.example", "/?x=1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.address);
        const std::size_t before = server.requests().size();
        ASSERT_TRUE(Get(row.address).sent);
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), before + 1);
        const auto& request = requests.back();
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.target, row.target);
        EXPECT_EQ(request.header("Host"), row.host);
        EXPECT_EQ(request.header("User-Agent"), "HTTPGET");
        EXPECT_EQ(request.header("Accept"), "*/*");
        std::vector<std::string> names;
        for (const auto& header : request.headers)
            names.push_back(header.first);
        EXPECT_EQ(names, (std::vector<std::string>{"Host", "User-Agent", "Accept"}));
    }
}

class HttpClientBodies : public HttpClientTest, public testing::WithParamInterface<BodyCase> {};

TEST_P(HttpClientBodies, ArriveWholeInBlocksNoLargerThanAsked)
{
    const BodyCase& c = GetParam();
    const HttpResponse response = ResponseFor(c);
    server.route("/m.swf", response);

    const Outcome outcome = Get("http://h.example/m.swf");
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

    for (const char* address : {"http://h.example/known.swf", "http://h.example/chunked.swf"}) {
        SCOPED_TRACE(address);
        const Outcome outcome = Get(address);
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

    const Outcome outcome = Get("http://h.example/old.swf");
    EXPECT_EQ(outcome.status, 200);
    EXPECT_EQ(outcome.length, "9");
    EXPECT_EQ(outcome.body, "the movie");
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[1].header("Host"), "other.example");
}

TEST_F(HttpClientTest, ErrorAnswerIsStillAnAnswer)
{
    const Outcome outcome = Get("http://h.example/missing.swf");
    EXPECT_TRUE(outcome.sent);
    EXPECT_EQ(outcome.status, 404);
    EXPECT_EQ(outcome.body, "not found");
}

// Nothing to query or read without an answer: an address that is no http or
// https address, one with no host or holding a control character, and one the
// request may not reach send nothing at all (the route makes every connection
// loopback, so a request that reaches only public addresses is refused at the
// socket, whatever the name); a refused connection and TLS against a plain
// server get no answer.
TEST_F(HttpClientTest, NoAnswerMeansNothingToQueryOrRead)
{
    server.route("/m.swf", "movie", "application/x-shockwave-flash");
    int closedPort = 0;
    {
        LoopbackHttpServer gone;
        closedPort = gone.port();
    }
    const struct {
        const char* name;
        std::string address;
        std::string error;  // part of the reason; empty: the answer comes
        HttpReach reach = HttpReach::Anywhere;
        bool sendsNothing = true;
        int port = 0;  // where the route goes; 0: the live server
    } rows[] = {
        {"a plain request", "http://movies.example/m.swf", ""},
        {"not http", "ftp://movies.example/m.swf", "not a valid http or https address"},
        {"no scheme", "movies.example/m.swf", "not a valid http or https address"},
        {"no host", "http:///m.swf", "no host name"},
        {"a NUL in the path", std::string("http://movies.example/m.swf\0.swf", 32), "not a valid"},
        {"an escape in the path", "http://movies.example/m.swf\x1b[2J", "not a valid"},
        {"a line break in the path", "http://movies.example/m.swf\r\nX: y", "not a valid"},
        {"DEL in the path", "http://movies.example/m\x7f.swf", "not a valid"},
        {"a C1 control in the path", "http://movies.example/m\u0085.swf", "not a valid"},
        {"a NUL in the host", std::string("http://movies.example\0.evil/m.swf", 33), "not a valid"},
        {"a tab in the host", "http://movies\t.example/m.swf", "not a valid"},
        {"a public-only request to loopback", "http://movies.example/m.swf", "refused: 127.0.0.1 is on loopback",
         HttpReach::PublicOnly},
        {"a public-only request to a loopback literal", "http://127.0.0.1/m.swf", "refused: 127.0.0.1 is on loopback",
         HttpReach::PublicOnly},
        {"a refused connection", "http://movies.example/m.swf", "onnect", HttpReach::Anywhere, true, closedPort},
        {"TLS against a plain server", "https://movies.example/m.swf", "SSL", HttpReach::Anywhere, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RouteHttpToLoopback(row.port != 0 ? row.port : server.port());
        const std::size_t before = server.requests().size();
        HttpRequest request;
        request.address = HttpAddress(QString::fromUtf8(row.address.data(), qsizetype(row.address.size())));
        request.limits = HttpLimits{5, 2};
        request.limits.reach = row.reach;
        HttpExchange exchange(request);
        const bool sent = exchange.Send();
        EXPECT_EQ(sent, row.error.empty());
        if (row.error.empty()) {
            EXPECT_EQ(server.requests().size(), before + 1);
            EXPECT_EQ(exchange.StatusCode(), 200);
            continue;
        }
        if (row.sendsNothing) {
            EXPECT_EQ(server.requests().size(), before);
        }
        std::string length;
        EXPECT_FALSE(exchange.QueryContentLength(length));
        EXPECT_EQ(exchange.StatusCode(), 0);
        char block[16];
        std::size_t count = 99;
        EXPECT_FALSE(exchange.Read(block, sizeof block, count));
        EXPECT_EQ(count, 0u);
        EXPECT_NE(exchange.ErrorText().find(row.error), std::string::npos) << exchange.ErrorText();
    }
}

TEST_F(HttpClientTest, ProxyComesFromTheEnvironment)
{
    RouteHttpToLoopback(0);
    setenv("http_proxy", server.origin().c_str(), 1);
    server.route("http://movies.example/m.swf", "via proxy", "application/x-shockwave-flash");
    const Outcome outcome = Get("http://movies.example/m.swf");
    unsetenv("http_proxy");
    EXPECT_EQ(outcome.body, "via proxy");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].target, "http://movies.example/m.swf");
}

// The body is kept only for a whole 2xx answer within the cap, whether the
// answer says its length or not; a redirect that is not followed comes back
// with where it points and its body unread.
TEST_F(HttpClientTest, AWholeBodyIsKeptOnlyForAWholeSuccessWithinTheCap)
{
    server.route("/m.swf", "FWS-movie", "application/x-shockwave-flash");
    HttpResponse unannounced;
    unannounced.body = "FWS-movie";
    unannounced.chunked = true;
    unannounced.headers = {{"Content-Type", "application/x-shockwave-flash"}};
    server.route("/chunked.swf", unannounced);
    HttpResponse cut;
    cut.body = PatternBody(50'000);
    cut.cutAfter = 1000;
    server.route("/cut.swf", cut);
    HttpResponse moved;
    moved.status = 302;
    moved.reason = "Found";
    moved.headers = {{"Location", "/m.swf"}};
    moved.body = "moved";
    server.route("/moved.swf", moved);

    const struct {
        const char* name;
        const char* address;
        std::size_t cap;
        bool follow;
        bool ok;
        long status;
        bool tooLarge;
        const char* location;
    } rows[] = {
        {"whole", "HTTP://h.example/m.swf#frag", 1024, true, true, 200, false, ""},
        {"at the cap", "http://h.example/m.swf", 9, true, true, 200, false, ""},
        {"past the cap by its length", "http://h.example/m.swf", 8, true, false, 0, true, ""},
        {"past the cap, no length", "http://h.example/chunked.swf", 8, true, false, 200, true, ""},
        {"not found", "http://h.example/none.swf", 1024, true, false, 404, false, ""},
        {"cut", "http://h.example/cut.swf", 1'000'000, true, false, 200, false, ""},
        {"a redirect followed", "http://h.example/moved.swf", 1024, true, true, 200, false, ""},
        {"a redirect not followed", "http://h.example/moved.swf", 1024, false, false, 302, false, "/m.swf"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HttpRequest request = RequestFor(row.address);
        request.limits.followRedirects = row.follow;
        const HttpFetchResult result = FetchWholeBody(request, row.cap);
        EXPECT_EQ(result.ok, row.ok) << result.error;
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.tooLarge, row.tooLarge);
        EXPECT_EQ(result.location, row.location);
        EXPECT_EQ(result.body, row.ok ? "FWS-movie" : "");
        EXPECT_EQ(result.error.empty(), row.ok) << result.error;
        if (row.ok) {
            EXPECT_EQ(result.contentType, "application/x-shockwave-flash");
        }
    }
    EXPECT_EQ(server.requests().front().target, "/m.swf");
}

// A cancel ends an exchange wherever it waits, for headers that do not come
// or in a body that drips, well within a blink.
TEST_F(HttpClientTest, ACancelEndsTheExchangeWhereverItWaits)
{
    HttpResponse late;
    late.delayMs = 30'000;
    server.route("/late.swf", late);
    HttpResponse drip;
    drip.body = PatternBody(1'000'000);
    drip.dripMs = 10;
    drip.dripBytes = 100;
    server.route("/drip.swf", drip);

    for (const char* address : {"http://h.example/late.swf", "http://h.example/drip.swf"}) {
        SCOPED_TRACE(address);
        std::atomic<bool> cancel{false};
        HttpRequest request = RequestFor(address, HttpLimits{});
        request.cancel = &cancel;
        std::atomic<std::int64_t> cancelledAt{0};
        const auto now = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
        };
        const std::size_t before = server.requests().size();
        std::thread canceller([&] {
            // Once the request is in and, for the drip, the body flowing.
            for (int i = 0; i < 500 && server.requests().size() == before; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            cancelledAt = now();
            cancel = true;
        });
        const HttpFetchResult result = FetchWholeBody(request, 10'000'000);
        const std::int64_t ended = now();
        canceller.join();
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, "cancelled");
        EXPECT_LT(ended - cancelledAt.load(), 400) << "ms from the cancel to the end";
    }
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
    const HttpFetchResult result = FetchWholeBody(RequestFor("http://endless.example/m.swf"), 1024);
    RouteHttpToLoopback(0);
    endless.join();
    ::close(listener);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("headers are longer than"), std::string::npos) << result.error;
    EXPECT_LT(linesSent.load(), 10'000'000);
}

}  // namespace
}  // namespace tessaro
