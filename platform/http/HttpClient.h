#pragma once

#include "platform/http/HttpRequest.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tessaro {

// The program's HTTP client: one GET per exchange over libcurl, which is
// handed the request's whole address.
//
// On the wire: HTTP/1.1, the request's user agent, its Accept header and the
// Host header, nothing else (no cache headers, no Accept-Encoding); the path
// is sent as the address holds it (not normalised); a port written in the
// address is used; redirects are followed as a browser would, but at most
// HttpLimits::maxRedirects of them, only to http and https, and from an https
// address only to https; the proxy comes from the environment (http_proxy,
// https_proxy, no_proxy), except for a fetch held to public addresses, which
// goes direct so that the address it connects to is the server's. TLS
// certificates are verified.
//
// Send() returns once the final answer's headers are in (or the exchange
// failed); Read() then hands the body out in blocks. At most a few of
// libcurl's receive buffers are held at any time, whatever the size of the
// body. An exchange belongs to one thread.
class HttpExchange {
public:
    explicit HttpExchange(const HttpRequest& request);
    ~HttpExchange();
    HttpExchange(const HttpExchange&) = delete;
    HttpExchange& operator=(const HttpExchange&) = delete;

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
    // The body was longer than HttpLimits::maxBodyBytes.
    bool BodyTooLarge() const;

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

// A whole body fetched in one go, for callers that need the bytes rather
// than a file (reading a page's movies, the preview).
struct HttpFetchResult {
    bool ok = false;             // a 2xx answer whose body arrived whole and within the cap
    long status = 0;             // the final answer's status; 0 when none arrived
    std::string body;            // empty unless ok
    std::string contentType;     // the final answer's Content-Type, as sent
    std::string location;        // a redirect not followed: its Location (its body is not read)
    bool tooLarge = false;       // the body is longer than the cap
    std::string error;           // why not ok
    bool stayedOnOrigin = true;  // no redirect left the address's origin
};

// The request's answer, its body kept while it is at most maxBytes long.
HttpFetchResult FetchWholeBody(HttpRequest request, std::size_t maxBytes);

}  // namespace tessaro
