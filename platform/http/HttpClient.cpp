#include "platform/http/HttpClient.h"

#include "platform/core/AsciiText.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace tessaro {

namespace {

std::atomic<int> loopbackPort{0};
std::mutex loopbackTlsMutex;
int loopbackTlsPort = 0;
std::string loopbackTlsCertificates;

// What surrounds a header line and its name and value.
constexpr std::string_view kHeaderBlanks = " \t\r\n";

// The most body bytes a request holds unread (beyond one chunk of libcurl's).
constexpr std::size_t kPendingBodyBytes = 256 * 1024;
// libcurl's receive buffer: larger than its default, fewer reads per body.
constexpr long kReceiveBufferBytes = 64 * 1024;

// The longest one wait of a request lasts while it can be cancelled.
constexpr int kCancelCheckMs = 100;

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// True when the host text names its own port ("h:8080", "[::1]:8080").
bool HasPort(const std::string& host)
{
    const auto colon = host.rfind(':');
    if (colon == std::string::npos)
        return false;
    const auto bracket = host.rfind(']');
    return bracket == std::string::npos || colon > bracket;
}

}  // namespace

void RouteHttpToLoopback(int port)
{
    loopbackPort = port;
}

void RouteHttpsToLoopback(int port, std::string certificatesPem)
{
    std::lock_guard lock(loopbackTlsMutex);
    loopbackTlsPort = port;
    loopbackTlsCertificates = port != 0 ? std::move(certificatesPem) : std::string();
}

HttpSession::HttpSession(std::string userAgent, HttpLimits limits) : userAgent_(std::move(userAgent)), limits_(limits)
{
    InitCurlOnce();
}

HttpConnection::HttpConnection(const HttpSession& session, std::string hostName, int defaultPort, bool secure)
    : session_(session), hostName_(std::move(hostName)), defaultPort_(defaultPort), secure_(secure)
{
}

std::string HttpConnection::UrlFor(const std::string& objectName) const
{
    std::string url = secure_ ? "https://" : "http://";
    url += hostName_;
    const int schemePort = secure_ ? 443 : 80;
    if (!HasPort(hostName_) && defaultPort_ != schemePort)
        url += ":" + std::to_string(defaultPort_);
    url += objectName;
    return url;
}

// The state of one exchange. libcurl pushes the body through a callback; the
// reader pulls it. The callback gathers chunks up to kPendingBodyBytes and
// pauses the transfer while that much is unread, so memory stays bounded
// whatever the body's size.
struct HttpGetRequest::Transfer {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    curl_slist* routeList = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    std::string url;
    bool followRedirects = true;
    const std::atomic<bool>* cancelled = nullptr;
    bool valid = false;  // the request could be set up at all
    bool sent = false;
    bool headersDone = false;
    bool done = false;  // libcurl reported the end of the exchange
    CURLcode result = CURLE_OK;
    std::string setupError;

    // Headers of the answer being received; replaced when a redirect or an
    // interim answer is followed by another.
    std::vector<std::pair<std::string, std::string>> headers;
    int blockStatus = 0;
    bool blockHasLocation = false;

    std::string pending;  // the chunk being handed out
    std::size_t pendingOffset = 0;
    bool paused = false;

    std::size_t Unread() const { return pending.size() - pendingOffset; }

    static size_t OnBody(char* data, size_t size, size_t count, void* self)
    {
        auto* transfer = static_cast<Transfer*>(self);
        const size_t length = size * count;
        // Chunks that arrive in one go are gathered up to the bound, so the
        // transfer pauses once per kPendingBodyBytes, not once per chunk.
        if (transfer->Unread() > 0 && transfer->Unread() + length > kPendingBodyBytes) {
            transfer->paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        transfer->headersDone = true;
        if (transfer->Unread() == 0) {
            transfer->pending.assign(data, length);
            transfer->pendingOffset = 0;
        } else {
            transfer->pending.append(data, length);
        }
        return length;
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* self)
    {
        auto* transfer = static_cast<Transfer*>(self);
        const size_t length = size * count;
        const std::string line(data, length);
        if (line.rfind("HTTP/", 0) == 0) {
            transfer->headers.clear();
            transfer->blockHasLocation = false;
            const auto blank = line.find(' ');
            transfer->blockStatus = blank == std::string::npos ? 0 : std::atoi(line.c_str() + blank + 1);
        } else if (TrimAscii(line, kHeaderBlanks).empty()) {
            const bool interim = transfer->blockStatus >= 100 && transfer->blockStatus < 200;
            const bool redirect = transfer->followRedirects && transfer->blockStatus >= 300 &&
                                  transfer->blockStatus < 400 && transfer->blockHasLocation;
            if (!interim && !redirect)
                transfer->headersDone = true;
        } else {
            const auto colon = line.find(':');
            if (colon != std::string::npos) {
                const std::string_view text(line);
                std::string name = LowerAscii(TrimAscii(text.substr(0, colon), kHeaderBlanks));
                if (name == "location")
                    transfer->blockHasLocation = true;
                transfer->headers.emplace_back(std::move(name), TrimAscii(text.substr(colon + 1), kHeaderBlanks));
            }
        }
        return length;
    }

    ~Transfer()
    {
        if (multi && easy)
            curl_multi_remove_handle(multi, easy);
        if (easy)
            curl_easy_cleanup(easy);
        if (multi)
            curl_multi_cleanup(multi);
        curl_slist_free_all(headerList);
        curl_slist_free_all(routeList);
    }

    // Drives libcurl until the condition holds or the exchange is over.
    template <typename Condition>
    void PumpUntil(Condition condition)
    {
        while (!done && !condition()) {
            if (cancelled != nullptr && cancelled->load()) {
                Finish(CURLE_ABORTED_BY_CALLBACK, "cancelled");
                return;
            }
            int running = 0;
            const CURLMcode code = curl_multi_perform(multi, &running);
            if (code != CURLM_OK) {
                Finish(CURLE_RECV_ERROR, curl_multi_strerror(code));
                return;
            }
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg == CURLMSG_DONE)
                    Finish(message->data.result, nullptr);
            }
            if (done || condition())
                return;
            // The time-outs set on the transfer bound the whole loop; this only
            // bounds one wait.
            curl_multi_poll(multi, nullptr, 0, cancelled != nullptr ? kCancelCheckMs : 1000, nullptr);
        }
    }

    void Finish(CURLcode code, const char* why)
    {
        done = true;
        result = code;
        if (why && errorBuffer[0] == '\0')
            std::snprintf(errorBuffer, sizeof errorBuffer, "%s", why);
    }
};

HttpGetRequest::HttpGetRequest(const HttpConnection& connection, const std::string& objectName,
                               const std::vector<std::string>& acceptTypes)
    : transfer_(std::make_unique<Transfer>())
{
    Transfer& t = *transfer_;
    // Without a host there is nothing to connect to; libcurl would otherwise
    // read the object name as a host.
    if (connection.HostName().empty()) {
        t.setupError = "no host name";
        return;
    }
    t.url = connection.UrlFor(objectName);
    t.easy = curl_easy_init();
    t.multi = curl_multi_init();
    if (!t.easy || !t.multi) {
        t.setupError = "the HTTP client could not start";
        return;
    }

    const HttpSession& session = connection.Session();
    CURL* easy = t.easy;
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, t.errorBuffer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_URL, t.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, session.UserAgent().c_str());
    std::string accept = "Accept: ";
    for (std::size_t i = 0; i < acceptTypes.size(); ++i)
        accept += (i == 0 ? "" : ", ") + acceptTypes[i];
    t.headerList = curl_slist_append(nullptr, accept.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t.headerList);
    const HttpLimits& limits = session.Limits();
    t.followRedirects = limits.followRedirects;
    t.cancelled = limits.cancelled;
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, t.followRedirects ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, limits.maxRedirects);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    // What came over TLS is never handed on in the clear.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, connection.Secure() ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, limits.stallTimeoutSeconds);
    if (limits.maxBodyBytes != 0)
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
    // A proxy's answer to CONNECT is not the server's answer.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);

    {
        std::lock_guard lock(loopbackTlsMutex);
        if (loopbackTlsPort != 0) {
            // The first matching entry wins: port 443 before any port.
            const std::string route = ":443:127.0.0.1:" + std::to_string(loopbackTlsPort);
            t.routeList = curl_slist_append(t.routeList, route.c_str());
            curl_blob certificates{loopbackTlsCertificates.data(), loopbackTlsCertificates.size(), CURL_BLOB_COPY};
            curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &certificates);
        }
    }
    if (const int port = loopbackPort.load(); port != 0) {
        const std::string route = "::127.0.0.1:" + std::to_string(port);
        t.routeList = curl_slist_append(t.routeList, route.c_str());
    }
    if (t.routeList != nullptr) {
        curl_easy_setopt(easy, CURLOPT_CONNECT_TO, t.routeList);
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    }
    t.valid = true;
}

HttpGetRequest::~HttpGetRequest() = default;

bool HttpGetRequest::Send()
{
    Transfer& t = *transfer_;
    if (!t.valid || t.sent)
        return t.valid && t.headersDone && t.result == CURLE_OK;
    t.sent = true;
    if (curl_multi_add_handle(t.multi, t.easy) != CURLM_OK) {
        t.Finish(CURLE_FAILED_INIT, "the HTTP client could not start");
        return false;
    }
    t.PumpUntil([&t] { return t.headersDone; });
    return t.headersDone;
}

bool HttpGetRequest::QueryHeader(const std::string& name, std::string& text) const
{
    const Transfer& t = *transfer_;
    if (!t.headersDone)
        return false;
    const std::string wanted = LowerAscii(name);
    for (const auto& [headerName, value] : t.headers) {
        if (headerName == wanted) {
            text = value;
            return true;
        }
    }
    return false;
}

bool HttpGetRequest::QueryContentLength(std::string& text) const
{
    return QueryHeader("Content-Length", text);
}

long HttpGetRequest::StatusCode() const
{
    const Transfer& t = *transfer_;
    return t.headersDone ? t.blockStatus : 0;
}

bool HttpGetRequest::Read(char* buffer, std::size_t size, std::size_t& bytesRead)
{
    bytesRead = 0;
    Transfer& t = *transfer_;
    if (!t.valid || !t.sent)
        return false;
    if (t.Unread() == 0 && !t.done) {
        if (t.paused) {
            t.paused = false;
            curl_easy_pause(t.easy, CURLPAUSE_CONT);
        }
        t.PumpUntil([&t] { return t.Unread() > 0; });
    }
    if (t.Unread() > 0) {
        bytesRead = std::min(size, t.Unread());
        std::memcpy(buffer, t.pending.data() + t.pendingOffset, bytesRead);
        t.pendingOffset += bytesRead;
        return true;
    }
    return t.result == CURLE_OK;
}

std::string HttpGetRequest::ErrorText() const
{
    const Transfer& t = *transfer_;
    if (!t.setupError.empty())
        return t.setupError;
    if (t.result == CURLE_OK)
        return {};
    if (t.errorBuffer[0] != '\0')
        return t.errorBuffer;
    return curl_easy_strerror(t.result);
}

}  // namespace tessaro
