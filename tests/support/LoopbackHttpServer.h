#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tessaro::test {

struct HttpRequest {
    std::string method;
    std::string target;  // as sent on the request line, verbatim
    std::vector<std::pair<std::string, std::string>> headers;

    // First header of that name, compared without regard to case; empty if absent.
    std::string header(const std::string& name) const;
};

struct HttpResponse {
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers;  // besides Content-Length
    std::string body;
    bool contentLength = true;  // send a Content-Length header
    bool chunked = false;       // send the body with chunked transfer encoding
    long cutAfter = -1;         // close the connection after this many body bytes
    int delayMs = 0;            // wait before answering
    long declaredLength = -1;   // Content-Length to announce instead of the body's size
    int dripMs = 0;             // send the body dripBytes at a time, this long apart
    std::size_t dripBytes = 1;
};

// Bytes that differ from block to block, so a lost or repeated block shows.
std::string PatternBody(std::size_t size);

// One shape of answer body, for data-driven tests of the HTTP code.
struct BodyCase {
    const char* name;
    std::size_t size;
    bool contentLength;
    bool chunked;
};
HttpResponse ResponseFor(const BodyCase& shape);

struct TlsIdentity;

// An HTTP/1.1 server on 127.0.0.1 with a port of its own, for tests that need
// a real peer. Each connection gets one answer and is closed. A TLS server
// shows a certificate made for it on the spot, for "localhost",
// "movies.example" and 127.0.0.1; clients trust it through certificatePem().
class LoopbackHttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;
    enum class Transport { Plain, Tls };

    explicit LoopbackHttpServer(Transport transport = Transport::Plain);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int port() const { return port_; }
    std::string origin() const;  // "http://127.0.0.1:<port>" ("https://" for TLS)
    // The server's certificate (PEM); empty for a plain server.
    std::string certificatePem() const;

    // Serves a fixed answer for a path (the target without its query);
    // anything not routed gets a 404.
    void route(const std::string& path, HttpResponse response);
    void route(const std::string& path, const std::string& body, const std::string& contentType);
    // Takes over every request that has no route.
    void setFallback(Handler handler);

    std::vector<HttpRequest> requests() const;

private:
    void acceptLoop();
    void serve(int client);

    std::unique_ptr<TlsIdentity> tls_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::map<std::string, HttpResponse> routes_;
    Handler fallback_;
    std::vector<HttpRequest> requests_;
    std::vector<std::thread> workers_;
};

}  // namespace tessaro::test
