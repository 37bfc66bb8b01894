#include "support/LoopbackHttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaro::test {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool SendAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool SendAll(int fd, const std::string& text)
{
    return SendAll(fd, text.data(), text.size());
}

// Reads up to the blank line that ends the request head; bodies are not used.
bool ReadHead(int fd, std::string& head)
{
    char buffer[4096];
    for (int rounds = 0; rounds < 1000; ++rounds) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            return false;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
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

LoopbackHttpServer::LoopbackHttpServer()
{
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
    return "http://127.0.0.1:" + std::to_string(port_);
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
    std::string head;
    if (!ReadHead(client, head)) {
        ::close(client);
        return;
    }
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
    if (response.delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(response.delayMs));

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
    if (SendAll(client, out) && SendAll(client, body))
        ::shutdown(client, SHUT_WR);
    // Drain until the peer closes so it reads everything before the reset.
    char sink[512];
    pollfd p{client, POLLIN, 0};
    while (::poll(&p, 1, 200) > 0 && ::recv(client, sink, sizeof sink, 0) > 0) {
    }
    ::close(client);
}

}  // namespace tessaro::test
