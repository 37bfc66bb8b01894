#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/http/HttpUrl.h"
#include "platform/http/NetworkReach.h"

namespace tessaro {

// The program's HTTP client: one GET at a time over libcurl, shaped after the
// three handles a download worker holds (session, connection, request) so a
// handle that failed to open is simply null and every later step skips it.
//
// On the wire: HTTP/1.1, the session's user agent, the request's Accept header
// ("*/*" unless told otherwise) and the Host header, nothing else (no cache headers, no Accept-Encoding); the request
// path is sent verbatim; redirects are followed as a browser would, but at most HttpLimits::maxRedirects of them, only
// to http and https, and from an https address only to https; the proxy comes from the environment (http_proxy,
// https_proxy, no_proxy), except for a fetch held to public addresses, which goes direct so that the address it
// connects to is the server's. TLS certificates are verified.
//
// All calls of one session and everything opened from it belong to one thread.

struct HttpLimits {
    // Give up on a connection that does not open within this time.
    long connectTimeoutSeconds = 30;
    // Give up on a transfer slower than lowSpeedBytesPerSecond for this long:
    // a server that drips must not hold a download nobody stops, nor a fetch
    // the program makes by itself, for ever.
    long stallTimeoutSeconds = 60;
    long lowSpeedBytesPerSecond = 1024;
    // Redirects followed before the exchange fails.
    long maxRedirects = 10;
    // A body longer than this fails the exchange (refused at once when the
    // answer's Content-Length says so); 0: no bound here.
    std::uint64_t maxBodyBytes = 0;
    // Follow redirects inside libcurl. Off, a redirect is the final answer and
    // the caller reads its Location header and decides on the next hop itself.
    bool followRedirects = true;
    // While it points at a flag that is set, the exchange ends at once as
    // failed (checked at least every 100 ms).
    const std::atomic<bool>* cancelled = nullptr;
    // Every address the exchange connects to is checked against this (the
    // address itself, not the name): one it does not reach fails the
    // exchange before anything is sent.
    HttpReach reach = HttpReach::Anywhere;
    // While set, the exchange connects where the pin says for its host and
    // port, and pins the address it connected to when none was.
    HttpAddressPin* pin = nullptr;
};

class HttpSession {
public:
    explicit HttpSession(std::string userAgent, HttpLimits limits = {});

    const std::string& UserAgent() const { return userAgent_; }
    const HttpLimits& Limits() const { return limits_; }

private:
    std::string userAgent_;
    HttpLimits limits_;
};

class HttpConnection {
public:
    // hostName is the text between the scheme and the first "/" of an address;
    // a port written in it ("host:8080") wins over defaultPort.
    HttpConnection(const HttpSession& session, std::string hostName, int defaultPort, bool secure);

    const HttpSession& Session() const { return session_; }
    const std::string& HostName() const { return hostName_; }
    int DefaultPort() const { return defaultPort_; }
    bool Secure() const { return secure_; }

    // The address of an object on this host: scheme, host, the path as given.
    std::string UrlFor(const std::string& objectName) const;

private:
    const HttpSession& session_;
    std::string hostName_;
    int defaultPort_;
    bool secure_;
};

// One GET for one object. Send() returns once the final answer's headers are
// in (or the exchange failed); Read() then hands the body out in blocks.
// At most a few of libcurl's receive buffers are held at any time, whatever
// the size of the body.
class HttpGetRequest {
public:
    // acceptTypes make up the Accept header, joined by ", ".
    HttpGetRequest(const HttpConnection& connection, const std::string& objectName,
                   const std::vector<std::string>& acceptTypes = {"*/*"});
    ~HttpGetRequest();
    HttpGetRequest(const HttpGetRequest&) = delete;
    HttpGetRequest& operator=(const HttpGetRequest&) = delete;

    // False when the exchange failed before an answer arrived.
    bool Send();

    // The final answer's Content-Length header as sent; false when absent or
    // when no answer arrived.
    bool QueryContentLength(std::string& text) const;
    // Any header of the final answer by name (any case); the first one wins.
    bool QueryHeader(const std::string& name, std::string& text) const;
    // The final answer's status code; 0 when no answer arrived.
    long StatusCode() const;

    // Copies up to size bytes of the body into buffer. True with bytesRead 0 at
    // the end of a body that arrived whole; false when the exchange failed
    // (connection cut, malformed answer, time-out) after the blocks before it.
    bool Read(char* buffer, std::size_t size, std::size_t& bytesRead);

    // What went wrong, in libcurl's words; empty while nothing did.
    std::string ErrorText() const;

    // Every answer so far came from the request's own origin (scheme, host,
    // port): false once a redirect went elsewhere, even when it came back.
    bool StayedOnOrigin() const;

private:
    struct Transfer;
    std::unique_ptr<Transfer> transfer_;
};

// Test seam: while set, every connection goes to 127.0.0.1 on this port,
// whatever host and port the address names (libcurl's CONNECT_TO), and no
// proxy is used. Tests keep real host names in addresses and Host headers.
// 0 switches it off. Process-wide.
void RouteHttpToLoopback(int port);

// Test seam: while set (port not 0), connections to port 443 go to this
// loopback port instead, and server certificates are verified against the
// given PEM certificates instead of the system's. Process-wide.
void RouteHttpsToLoopback(int port, std::string certificatesPem);

// A whole resource fetched in one go, for callers on a worker thread that
// need the bytes rather than a file (the movie preview).
struct HttpFetchResult {
    bool ok = false;             // a 2xx answer whose body arrived whole and within the cap
    long status = 0;             // the final answer's status; 0 when none arrived
    std::string body;            // empty unless ok
    std::string contentType;     // the final answer's Content-Type, as sent
    std::string error;           // why not ok
    bool stayedOnOrigin = true;  // no redirect left the address's origin
};

// GET of an "http://" or "https://" address (scheme in any case; the fragment
// is not sent). A body longer than maxBytes is not kept and fails the fetch.
HttpFetchResult FetchUrl(const std::string& url, std::size_t maxBytes, const std::string& userAgent = "HTTPGET",
                         HttpLimits limits = {});

}  // namespace tessaro
