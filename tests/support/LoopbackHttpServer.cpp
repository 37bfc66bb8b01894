#include "support/LoopbackHttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaro::test {

// A key and a self-signed certificate made for one server.
struct TlsIdentity {
    SSL_CTX* context = nullptr;
    std::string certificatePem;

    TlsIdentity()
    {
        EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* certificate = X509_new();
        if (key == nullptr || certificate == nullptr)
            throw std::runtime_error("cannot make a TLS key");
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), static_cast<long>(::getpid()));
        X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 3600);
        X509_set_pubkey(certificate, key);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("movies.example"),
                                   -1, -1, 0);
        X509_set_issuer_name(certificate, name);
        X509V3_CTX extensions;
        X509V3_set_ctx_nodb(&extensions);
        X509V3_set_ctx(&extensions, certificate, certificate, nullptr, nullptr, 0);
        for (const auto& [nid, value] :
             {std::pair{NID_subject_alt_name, "DNS:localhost,DNS:movies.example,IP:127.0.0.1"},
              std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
            X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &extensions, nid, value);
            X509_add_ext(certificate, extension, -1);
            X509_EXTENSION_free(extension);
        }
        if (X509_sign(certificate, key, EVP_sha256()) == 0)
            throw std::runtime_error("cannot sign a TLS certificate");
        BIO* pem = BIO_new(BIO_s_mem());
        PEM_write_bio_X509(pem, certificate);
        char* data = nullptr;
        const long length = BIO_get_mem_data(pem, &data);
        certificatePem.assign(data, static_cast<std::size_t>(length));
        BIO_free(pem);
        context = SSL_CTX_new(TLS_server_method());
        if (context == nullptr || SSL_CTX_use_certificate(context, certificate) != 1 ||
            SSL_CTX_use_PrivateKey(context, key) != 1)
            throw std::runtime_error("cannot set up TLS");
        X509_free(certificate);
        EVP_PKEY_free(key);
    }
    ~TlsIdentity() { SSL_CTX_free(context); }
};

namespace {

// One accepted connection, plain or TLS.
class Connection {
public:
    Connection(int fd, SSL_CTX* tls) : fd_(fd)
    {
        if (tls == nullptr)
            return;
        ssl_ = SSL_new(tls);
        SSL_set_fd(ssl_, fd_);
        timeval wait{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        ok_ = SSL_accept(ssl_) == 1;
    }
    ~Connection()
    {
        if (ssl_ != nullptr)
            SSL_free(ssl_);
        ::close(fd_);
    }

    bool ok() const { return ok_; }

    // Waits up to timeoutMs for bytes; 0 at the end or on a time-out.
    ssize_t receive(char* buffer, size_t size, int timeoutMs)
    {
        if (ssl_ == nullptr || SSL_pending(ssl_) == 0) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0)
                return 0;
        }
        if (ssl_ != nullptr)
            return SSL_read(ssl_, buffer, static_cast<int>(size));
        return ::recv(fd_, buffer, size, 0);
    }

    bool sendAll(const char* data, size_t size)
    {
        while (size > 0) {
            const ssize_t sent =
                ssl_ != nullptr ? SSL_write(ssl_, data, static_cast<int>(size)) : ::send(fd_, data, size, MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            data += sent;
            size -= static_cast<size_t>(sent);
        }
        return true;
    }
    bool sendAll(const std::string& text) { return sendAll(text.data(), text.size()); }

    void endWriting()
    {
        if (ssl_ != nullptr)
            SSL_shutdown(ssl_);
        ::shutdown(fd_, SHUT_WR);
    }

private:
    int fd_;
    SSL* ssl_ = nullptr;
    bool ok_ = true;
};

bool EqualNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Reads up to the blank line that ends the request head; bodies are not used.
bool ReadHead(Connection& connection, std::string& head)
{
    char buffer[4096];
    for (int rounds = 0; rounds < 1000; ++rounds) {
        const ssize_t got = connection.receive(buffer, sizeof buffer, 5000);
        if (got <= 0)
            return false;
        head.append(buffer, static_cast<size_t>(got));
        if (head.find("\r\n\r\n") != std::string::npos)
            return true;
    }
    return false;
}

HttpRequest ParseHead(const std::string& head)
{
    HttpRequest request;
    size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const size_t firstSpace = requestLine.find(' ');
    const size_t lastSpace = requestLine.rfind(' ');
    request.method = requestLine.substr(0, firstSpace);
    if (firstSpace != std::string::npos && lastSpace > firstSpace)
        request.target = requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    size_t pos = lineEnd + 2;
    while (pos < head.size()) {
        const size_t end = head.find("\r\n", pos);
        if (end == std::string::npos || end == pos)
            break;
        const std::string line = head.substr(pos, end - pos);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            size_t valueStart = colon + 1;
            while (valueStart < line.size() && line[valueStart] == ' ')
                ++valueStart;
            request.headers.emplace_back(line.substr(0, colon), line.substr(valueStart));
        }
        pos = end + 2;
    }
    return request;
}

}  // namespace

std::string PatternBody(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7919 + i / 251) & 0xff);
    return bytes;
}

HttpResponse ResponseFor(const BodyCase& shape)
{
    HttpResponse response;
    response.body = PatternBody(shape.size);
    response.contentLength = shape.contentLength;
    response.chunked = shape.chunked;
    return response;
}

std::string HttpRequest::header(const std::string& name) const
{
    for (const auto& [key, value] : headers) {
        if (EqualNoCase(key, name))
            return value;
    }
    return {};
}

LoopbackHttpServer::LoopbackHttpServer(Transport transport)
{
    if (transport == Transport::Tls)
        tls_ = std::make_unique<TlsIdentity>();
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0)
        throw std::runtime_error("socket failed");
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 64) != 0)
        throw std::runtime_error("cannot listen on loopback");
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    acceptor_.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers)
        worker.join();
}

std::string LoopbackHttpServer::origin() const
{
    return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_);
}

std::string LoopbackHttpServer::certificatePem() const
{
    return tls_ ? tls_->certificatePem : std::string();
}

void LoopbackHttpServer::route(const std::string& path, HttpResponse response)
{
    std::lock_guard lock(mutex_);
    routes_[path] = std::move(response);
}

void LoopbackHttpServer::route(const std::string& path, const std::string& body, const std::string& contentType)
{
    HttpResponse response;
    response.body = body;
    response.headers.emplace_back("Content-Type", contentType);
    route(path, std::move(response));
}

void LoopbackHttpServer::setFallback(Handler handler)
{
    std::lock_guard lock(mutex_);
    fallback_ = std::move(handler);
}

std::vector<HttpRequest> LoopbackHttpServer::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void LoopbackHttpServer::acceptLoop()
{
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        std::lock_guard lock(mutex_);
        workers_.emplace_back([this, client] { serve(client); });
    }
}

void LoopbackHttpServer::serve(int client)
{
    Connection connection(client, tls_ ? tls_->context : nullptr);
    std::string head;
    if (!connection.ok() || !ReadHead(connection, head))
        return;
    const HttpRequest request = ParseHead(head);
    HttpResponse response;
    {
        std::unique_lock lock(mutex_);
        requests_.push_back(request);
        const std::string path = request.target.substr(0, request.target.find('?'));
        if (auto it = routes_.find(path); it != routes_.end()) {
            response = it->second;
        } else if (fallback_) {
            Handler handler = fallback_;
            lock.unlock();
            response = handler(request);
        } else {
            response.status = 404;
            response.reason = "Not Found";
            response.body = "not found";
            response.headers.emplace_back("Content-Type", "text/plain");
        }
    }
    // In steps, so a server that stops does not wait out a long delay.
    for (int waited = 0; waited < response.delayMs && !stopping_; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(10, response.delayMs - waited)));

    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
    for (const auto& [key, value] : response.headers)
        out += key + ": " + value + "\r\n";
    if (response.chunked) {
        out += "Transfer-Encoding: chunked\r\n";
    } else if (response.contentLength) {
        const long length =
            response.declaredLength >= 0 ? response.declaredLength : static_cast<long>(response.body.size());
        out += "Content-Length: " + std::to_string(length) + "\r\n";
    }
    out += "Connection: close\r\n\r\n";

    std::string body = response.body;
    const bool cut = response.cutAfter >= 0 && static_cast<size_t>(response.cutAfter) < body.size();
    if (cut)
        body.resize(static_cast<size_t>(response.cutAfter));
    if (response.chunked) {
        std::string encoded;
        constexpr size_t kChunk = 1000;
        for (size_t pos = 0; pos < body.size(); pos += kChunk) {
            const std::string piece = body.substr(pos, kChunk);
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
            encoded += size + piece + "\r\n";
        }
        if (!cut)
            encoded += "0\r\n\r\n";
        body = encoded;
    }
    bool sent = connection.sendAll(out);
    if (response.dripMs > 0) {
        // A few bytes at a time until the body ends, the peer goes or the server stops.
        const size_t step = std::max<size_t>(1, response.dripBytes);
        for (size_t i = 0; sent && i < body.size() && !stopping_; i += step) {
            sent = connection.sendAll(body.data() + i, std::min(step, body.size() - i));
            for (int waited = 0; sent && waited < response.dripMs && !stopping_; waited += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    } else {
        sent = sent && connection.sendAll(body);
    }
    if (sent)
        connection.endWriting();
    // Drain until the peer closes so it reads everything before the reset.
    char sink[512];
    while (connection.receive(sink, sizeof sink, 200) > 0) {
    }
}

}  // namespace tessaro::test
