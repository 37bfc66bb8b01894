#include "platform/http/HttpClient.h"

#include "platform/core/AsciiText.h"
#include "platform/http/HttpHeaders.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace tessaro {

namespace {

std::atomic<int> loopbackPort{0};
std::mutex loopbackTlsMutex;
int loopbackTlsPort = 0;
std::string loopbackTlsCertificates;

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

// "scheme://host:port" of an absolute address, lower-cased, the port always
// written; empty when libcurl cannot read the address.
std::string OriginOf(const char* url)
{
    std::string origin;
    CURLU* parsed = curl_url();
    if (parsed == nullptr || url == nullptr)
        return origin;
    char* scheme = nullptr;
    char* host = nullptr;
    char* port = nullptr;
    if (curl_url_set(parsed, CURLUPART_URL, url, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK)
        origin = LowerAscii(scheme) + "://" + LowerAscii(host) + ":" + port;
    curl_free(scheme);
    curl_free(host);
    curl_free(port);
    curl_url_cleanup(parsed);
    return origin;
}

// The host (without brackets) and port an address connects to, for a pin.
bool HostAndPortOf(const std::string& url, std::string& host, int& port)
{
    CURLU* parsed = curl_url();
    if (parsed == nullptr)
        return false;
    char* hostText = nullptr;
    char* portText = nullptr;
    const bool ok = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
                    curl_url_get(parsed, CURLUPART_HOST, &hostText, 0) == CURLUE_OK &&
                    curl_url_get(parsed, CURLUPART_PORT, &portText, CURLU_DEFAULT_PORT) == CURLUE_OK;
    if (ok) {
        host = hostText;
        if (host.size() >= 2 && host.front() == '[')
            host = host.substr(1, host.size() - 2);
        port = std::atoi(portText);
    }
    curl_free(hostText);
    curl_free(portText);
    curl_url_cleanup(parsed);
    return ok;
}

// The test routes, added to a transfer's connect-to list.
void AddRoutes(CURL* easy, curl_slist*& routeList)
{
    {
        std::lock_guard lock(loopbackTlsMutex);
        if (loopbackTlsPort != 0) {
            // The first matching entry wins: port 443 before any port.
            const std::string route = ":443:127.0.0.1:" + std::to_string(loopbackTlsPort);
            routeList = curl_slist_append(routeList, route.c_str());
            curl_blob certificates{loopbackTlsCertificates.data(), loopbackTlsCertificates.size(), CURL_BLOB_COPY};
            curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &certificates);
        }
    }
    if (const int port = loopbackPort.load(); port != 0) {
        const std::string route = "::127.0.0.1:" + std::to_string(port);
        routeList = curl_slist_append(routeList, route.c_str());
    }
    if (routeList != nullptr) {
        curl_easy_setopt(easy, CURLOPT_CONNECT_TO, routeList);
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    }
}

std::string AddressText(const sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    else if (address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    return text;
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
    curl_slist* resolveList = nullptr;
    HttpAddressPin* pin = nullptr;
    std::string pinHost;
    int pinPort = 0;
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

    HttpHeaderBlock head{true};
    bool headTooLarge = false;
    std::string firstOrigin;
    bool leftOrigin = false;

    HttpReach reach = HttpReach::Anywhere;
    std::string refusal;  // why a connection was refused, once one was

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
        if (!transfer->head.Add(std::string_view(data, length))) {
            transfer->headTooLarge = true;
            return 0;  // fails the exchange
        }
        if (transfer->head.TakeNewAnswer()) {
            // Each answer's own address: a redirect that left and came back
            // still brought bytes from elsewhere on the way.
            char* current = nullptr;
            curl_easy_getinfo(transfer->easy, CURLINFO_EFFECTIVE_URL, &current);
            if (OriginOf(current) != transfer->firstOrigin)
                transfer->leftOrigin = true;
        }
        if (transfer->head.Done())
            transfer->headersDone = true;
        return length;
    }

    // Every connection libcurl opens comes here with the address it resolved,
    // so the check holds for what is dialled, whatever the name said.
    static curl_socket_t OnOpenSocket(void* self, curlsocktype, curl_sockaddr* address)
    {
        auto* transfer = static_cast<Transfer*>(self);
        const AddressClass kind = ClassifyAddress(&address->addr);
        if (!Reaches(transfer->reach, kind)) {
            if (transfer->refusal.empty())
                transfer->refusal = "refused: " + AddressText(&address->addr) + " is " + AddressClassName(kind) +
                                    ", and the page is not";
            return CURL_SOCKET_BAD;
        }
        return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
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
        curl_slist_free_all(resolveList);
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
    if (HoldsControlCharacter(t.url)) {
        t.setupError = "the address holds a control character";
        return;
    }
    t.firstOrigin = OriginOf(t.url.c_str());
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
    t.head = HttpHeaderBlock(t.followRedirects);
    t.cancelled = limits.cancelled;
    t.reach = limits.reach;
    t.pin = limits.pin;
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &Transfer::OnOpenSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, &t);
    // Through a proxy the socket's address is the proxy's, and the proxy
    // reaches what it likes: a fetch held to public addresses goes direct.
    if (t.reach == HttpReach::PublicOnly)
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    // A lookup that never answers must not hold the handle's end (and the
    // window's) for the resolver's own time-out.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    if (t.pin != nullptr && HostAndPortOf(t.url, t.pinHost, t.pinPort)) {
        if (const std::string pinned = t.pin->AddressFor(t.pinHost, t.pinPort); !pinned.empty()) {
            const bool v6 = pinned.find(':') != std::string::npos;
            const std::string entry =
                t.pinHost + ":" + std::to_string(t.pinPort) + ":" + (v6 ? "[" + pinned + "]" : pinned);
            t.resolveList = curl_slist_append(nullptr, entry.c_str());
            curl_easy_setopt(easy, CURLOPT_RESOLVE, t.resolveList);
        }
    }
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

    AddRoutes(easy, t.routeList);
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
    if (t.headersDone && t.pin != nullptr && !t.pinHost.empty()) {
        char* connected = nullptr;
        if (curl_easy_getinfo(t.easy, CURLINFO_PRIMARY_IP, &connected) == CURLE_OK && connected != nullptr)
            t.pin->Offer(t.pinHost, t.pinPort, connected);
    }
    return t.headersDone;
}

bool HttpGetRequest::QueryHeader(const std::string& name, std::string& text) const
{
    const Transfer& t = *transfer_;
    if (!t.headersDone)
        return false;
    const std::string wanted = LowerAscii(name);
    for (const auto& [headerName, value] : t.head.Fields()) {
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
    return t.headersDone ? t.head.Status() : 0;
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
    if (!t.refusal.empty() && t.result != CURLE_OK)
        return t.refusal;
    if (t.headTooLarge)
        return "the answer's headers are longer than " + std::to_string(HttpHeaderBlock::kMaxLines) + " lines or " +
               std::to_string(HttpHeaderBlock::kMaxBytes) + " bytes";
    if (t.result == CURLE_OK)
        return {};
    if (t.errorBuffer[0] != '\0')
        return t.errorBuffer;
    return curl_easy_strerror(t.result);
}

bool HttpGetRequest::StayedOnOrigin() const
{
    return !transfer_->leftOrigin;
}

namespace {

// Whether a host name can only be a name of the user's own network: one
// label ("nas"), or under a suffix no public site can own. Any other name's
// owner can answer our lookup otherwise than it answered the browser.
bool IsLocalOnlyName(std::string_view host)
{
    if (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    if (host.find('.') == std::string_view::npos)
        return !host.empty();
    for (const std::string_view suffix : {".local", ".lan", ".home.arpa", ".internal", ".localdomain", ".test"}) {
        if (EndsWithIgnoringAsciiCase(host, suffix))
            return true;
    }
    return false;
}

}  // namespace

HttpReach ReachOfPage(const std::string& pageUrl, const std::atomic<bool>* cancelled)
{
    std::string host;
    int port = 0;
    const bool web =
        StartsWithIgnoringAsciiCase(pageUrl, "http://") || StartsWithIgnoringAsciiCase(pageUrl, "https://");
    if (!web || HoldsControlCharacter(pageUrl) || !HostAndPortOf(pageUrl, host, port))
        return HttpReach::PublicOnly;
    const std::string lowerHost = LowerAscii(host);
    if (lowerHost == "localhost" || EndsWithIgnoringAsciiCase(lowerHost, ".localhost"))
        return HttpReach::Anywhere;
    if (const auto literal = ClassifyAddressText(host))
        return *literal == AddressClass::Public ? HttpReach::PublicOnly : HttpReach::Anywhere;
    if (!IsLocalOnlyName(lowerHost))
        return HttpReach::PublicOnly;

    // The name is looked up by libcurl's own resolver, with its time-out and
    // under the test routes: a transfer whose every socket is refused hands
    // each address it resolved to the open-socket callback and connects to none.
    struct Lookup {
        int addresses = 0;
        int local = 0;
        static curl_socket_t OnOpenSocket(void* self, curlsocktype, curl_sockaddr* address)
        {
            auto* lookup = static_cast<Lookup*>(self);
            ++lookup->addresses;
            if (ClassifyAddress(&address->addr) != AddressClass::Public)
                ++lookup->local;
            return CURL_SOCKET_BAD;
        }
    } lookup;
    InitCurlOnce();
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    curl_slist* routeList = nullptr;
    if (easy != nullptr && multi != nullptr) {
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_URL, pageUrl.c_str());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_CONNECT_ONLY, 1L);
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, kPageLookupTimeoutSeconds);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT, kPageLookupTimeoutSeconds);
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &Lookup::OnOpenSocket);
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, &lookup);
        AddRoutes(easy, routeList);
        curl_multi_add_handle(multi, easy);
        for (int running = 1; running != 0;) {
            if ((cancelled != nullptr && cancelled->load()) || curl_multi_perform(multi, &running) != CURLM_OK)
                break;
            if (running != 0)
                curl_multi_poll(multi, nullptr, 0, 100, nullptr);
        }
        curl_multi_remove_handle(multi, easy);
    }
    if (easy != nullptr)
        curl_easy_cleanup(easy);
    if (multi != nullptr)
        curl_multi_cleanup(multi);
    curl_slist_free_all(routeList);
    // Only a name that stays on the user's network makes the page local: one
    // public address among them could be where the page came from.
    return lookup.addresses > 0 && lookup.local == lookup.addresses ? HttpReach::Anywhere : HttpReach::PublicOnly;
}

HttpReach PageNetwork::Reach(const std::atomic<bool>* cancelled)
{
    // Workers of one page wait here for the one lookup; it is bounded.
    const std::lock_guard lock(mutex_);
    if (reach_)
        return *reach_;
    const HttpReach reach = ReachOfPage(pageUrl_, cancelled);
    // A lookup cut short is asked again by the next fetch.
    if (cancelled == nullptr || !cancelled->load())
        reach_ = reach;
    return reach;
}

}  // namespace tessaro
