#include "platform/http/HttpClient.h"

#include "platform/core/AsciiText.h"
#include "platform/http/HttpHeaders.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <curl/curl.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// The state of one exchange. libcurl pushes the body through a callback; the
// reader pulls it. The callback gathers chunks up to kPendingBodyBytes and
// pauses the transfer while that much is unread, so memory stays bounded
// whatever the body's size.
struct HttpExchange::Transfer {
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
    const std::atomic<bool>* cancel = nullptr;
    bool valid = false;  // the request could be set up at all
    bool sent = false;
    bool headersDone = false;
    bool done = false;  // libcurl reported the end of the exchange
    CURLcode result = CURLE_OK;
    std::string setupError;

    HttpHeaderBlock head{true};
    bool headTooLarge = false;
    bool bodyTooLarge = false;
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

    // libcurl asks this often while it works, and at least once a second
    // while it waits: a cancel ends the transfer inside libcurl too.
    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        const auto* transfer = static_cast<const Transfer*>(self);
        return transfer->Cancelled() ? 1 : 0;
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

    bool Cancelled() const { return cancel != nullptr && cancel->load(); }

    // Drives libcurl until the condition holds or the exchange is over.
    template <typename Condition>
    void PumpUntil(Condition condition)
    {
        while (!done && !condition()) {
            if (Cancelled()) {
                Finish(CURLE_ABORTED_BY_CALLBACK);
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
                    Finish(message->data.result);
            }
            if (done || condition())
                return;
            // The time-outs set on the transfer bound the whole loop; this only
            // bounds one wait.
            curl_multi_poll(multi, nullptr, 0, cancel != nullptr ? kCancelCheckMs : 1000, nullptr);
        }
    }

    void Finish(CURLcode code, const char* why = nullptr)
    {
        done = true;
        result = code;
        if (code == CURLE_FILESIZE_EXCEEDED)
            bodyTooLarge = true;
        // libcurl's words for a cancel name its callback, not what happened.
        if (code == CURLE_ABORTED_BY_CALLBACK && Cancelled())
            why = "cancelled";
        if (why && (errorBuffer[0] == '\0' || code == CURLE_ABORTED_BY_CALLBACK))
            std::snprintf(errorBuffer, sizeof errorBuffer, "%s", why);
    }

    bool Setup(const HttpRequest& request);
    void SetWire(const HttpRequest& request, bool secure);
    void SetReach(const HttpRequest& request);
    void SetBounds(const HttpLimits& limits);
};

// The address, the request line and headers, and what answers are taken.
void HttpExchange::Transfer::SetWire(const HttpRequest& request, bool secure)
{
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, request.userAgent.c_str());
    std::string accept = "Accept: ";
    for (std::size_t i = 0; i < request.acceptTypes.size(); ++i)
        accept += (i == 0 ? "" : ", ") + request.acceptTypes[i];
    headerList = curl_slist_append(nullptr, accept.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, request.limits.maxRedirects);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    // What came over TLS is never handed on in the clear.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    // A proxy's answer to CONNECT is not the server's answer.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
}

// Where the exchange may connect: the reach, the pin, the proxy.
void HttpExchange::Transfer::SetReach(const HttpRequest& request)
{
    reach = request.limits.reach;
    pin = request.limits.pin;
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &Transfer::OnOpenSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
    // Through a proxy the socket's address is the proxy's, and the proxy
    // reaches what it likes: a fetch held to public addresses goes direct.
    if (reach == HttpReach::PublicOnly)
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    if (pin != nullptr) {
        // The host as libcurl looks it up: lower-cased, international names
        // in their ASCII form, an IPv6 literal without its brackets.
        pinHost = request.address.host(QUrl::FullyEncoded).toStdString();
        pinPort = request.address.port(request.address.scheme() == QLatin1StringView("https") ? 443 : 80);
        if (const std::string pinned = pin->AddressFor(pinHost, pinPort); !pinned.empty()) {
            const bool v6 = pinned.find(':') != std::string::npos;
            const std::string entry =
                pinHost + ":" + std::to_string(pinPort) + ":" + (v6 ? "[" + pinned + "]" : pinned);
            resolveList = curl_slist_append(nullptr, entry.c_str());
            curl_easy_setopt(easy, CURLOPT_RESOLVE, resolveList);
        }
    }
    AddRoutes(easy, routeList);
}

// How long the exchange may take, how slow and how large it may be, and the
// cancel flag.
void HttpExchange::Transfer::SetBounds(const HttpLimits& limits)
{
    // A lookup that never answers must not hold the handle's end (and the
    // window's) for the resolver's own time-out.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, limits.stallTimeoutSeconds);
    if (limits.maxBodyBytes != 0)
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
    if (cancel != nullptr) {
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    }
}

bool HttpExchange::Transfer::Setup(const HttpRequest& request)
{
    url = WireAddress(request.address);
    if (url.empty()) {
        const QUrl& address = request.address;
        const bool web =
            address.scheme() == QLatin1StringView("http") || address.scheme() == QLatin1StringView("https");
        setupError = web && address.isValid() ? "no host name" : "not a valid http or https address";
        return false;
    }
    // An encoded address holds none; this only keeps a raw one off the wire
    // whatever the encoder did.
    if (HoldsControlCharacter(url)) {
        setupError = "the address holds a control character";
        return false;
    }
    firstOrigin = OriginOf(url.c_str());
    easy = curl_easy_init();
    multi = curl_multi_init();
    if (!easy || !multi) {
        setupError = "the HTTP client could not start";
        return false;
    }
    cancel = request.cancel;
    followRedirects = request.limits.followRedirects;
    head = HttpHeaderBlock(followRedirects);
    SetWire(request, request.address.scheme() == QLatin1StringView("https"));
    SetReach(request);
    SetBounds(request.limits);
    return true;
}

HttpExchange::HttpExchange(const HttpRequest& request) : transfer_(std::make_unique<Transfer>())
{
    InitCurlOnce();
    transfer_->valid = transfer_->Setup(request);
}

HttpExchange::~HttpExchange() = default;

bool HttpExchange::Send()
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

bool HttpExchange::QueryHeader(const std::string& name, std::string& text) const
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

bool HttpExchange::QueryContentLength(std::string& text) const
{
    return QueryHeader("Content-Length", text);
}

long HttpExchange::StatusCode() const
{
    const Transfer& t = *transfer_;
    return t.headersDone ? t.head.Status() : 0;
}

bool HttpExchange::Read(char* buffer, std::size_t size, std::size_t& bytesRead)
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

std::string HttpExchange::ErrorText() const
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

bool HttpExchange::BodyTooLarge() const
{
    return transfer_->bodyTooLarge;
}

bool HttpExchange::StayedOnOrigin() const
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

HttpReach ReachOfPage(const QUrl& page, const std::atomic<bool>* cancelled)
{
    const std::string pageUrl = WireAddress(page);
    if (pageUrl.empty())
        return HttpReach::PublicOnly;
    const std::string host = page.host(QUrl::FullyEncoded).toStdString();
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
    const HttpReach reach = ReachOfPage(page_, cancelled);
    // A lookup cut short is asked again by the next fetch.
    if (cancelled == nullptr || !cancelled->load())
        reach_ = reach;
    return reach;
}

}  // namespace tessaro
