#pragma once

#include <QUrl>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/socket.h>

namespace tessaro {

// Where an IP address lies, as far as the program's own fetches care: only
// Public is out on the internet; everything else is this machine, the user's
// network or no place a page has any business sending the program to.
enum class AddressClass {
    Public,
    Loopback,     // 127.0.0.0/8, ::1
    Private,      // 10/8, 172.16/12, 192.168/16, 100.64/10, fc00::/7, fec0::/10
    LinkLocal,    // 169.254/16, fe80::/10
    Unspecified,  // 0.0.0.0, ::
    Multicast,    // 224/4, ff00::/8
    Reserved,     // documentation, benchmarking, 240/4, broadcast, 0/8, IPv6 outside 2000::/3
};

// An IPv4-mapped IPv6 address (and NAT64 or 6to4) is judged by the IPv4
// address inside it. Anything that is neither IPv4 nor IPv6 is Reserved.
AddressClass ClassifyAddress(const sockaddr* address);
// The class of an IP literal ("10.1.2.3", "::1", "[fe80::1]"); nullopt for a
// text that is not one (a host name).
std::optional<AddressClass> ClassifyAddressText(std::string_view text);

const char* AddressClassName(AddressClass kind);

// What a fetch may connect to. Downloads the user asks for reach anywhere;
// the fetches the program makes by itself for a page (reading its movies,
// the preview) reach only public addresses unless the page came from the
// user's own network.
enum class HttpReach { Anywhere, PublicOnly };

inline bool Reaches(HttpReach reach, AddressClass kind)
{
    return reach == HttpReach::Anywhere || kind == AddressClass::Public;
}

// The address the first fetch of one preview connected to, so that the later
// fetches of the same movie connect there too: a name that answers with
// another address on a later lookup is not followed. Shared between workers.
class HttpAddressPin {
public:
    // The pinned address for host and port; empty when none is (yet), or
    // when the pin holds another host.
    std::string AddressFor(const std::string& host, int port) const;
    // Pins the address unless one is pinned already.
    void Offer(const std::string& host, int port, const std::string& address);

private:
    mutable std::mutex mutex_;
    std::string host_;
    int port_ = 0;
    std::string address_;
};

// The reach a page's own address gives: a page on loopback, a private or a
// link-local range (its host such a literal, "localhost", or a name that
// resolves only to such addresses) may have the program fetch from there.
// Anything that cannot be told is PublicOnly. Resolves the name with the HTTP
// client's resolver: call it off the window's thread. The wait is bounded by
// kPageLookupTimeoutSeconds and ends early once cancelled is set.
inline constexpr long kPageLookupTimeoutSeconds = 10;
HttpReach ReachOfPage(const QUrl& page, const std::atomic<bool>* cancelled = nullptr);

// The reach of one page, found on the first fetch that asks (on that fetch's
// thread) and kept for every later one.
class PageNetwork {
public:
    explicit PageNetwork(QUrl page) : page_(std::move(page)) {}
    // A page whose reach is known already (tests, or no page at all).
    explicit PageNetwork(HttpReach reach) : reach_(reach) {}

    HttpReach Reach(const std::atomic<bool>* cancelled = nullptr);

private:
    std::mutex mutex_;
    QUrl page_;
    std::optional<HttpReach> reach_;
};

}  // namespace tessaro
