#include "platform/http/NetworkReach.h"

#include <arpa/inet.h>
#include <array>
#include <cstdint>
#include <cstring>
#include <netinet/in.h>

namespace tessaro {

namespace {

struct V4Range {
    std::uint32_t network;
    int prefix;
    AddressClass kind;
};

constexpr std::uint32_t V4(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return (a << 24) | (b << 16) | (c << 8) | d;
}

// The first matching row wins, so the narrow rows come before the wide ones.
constexpr std::array kV4Ranges = {
    V4Range{V4(0, 0, 0, 0), 32, AddressClass::Unspecified},
    V4Range{V4(255, 255, 255, 255), 32, AddressClass::Reserved},
    V4Range{V4(0, 0, 0, 0), 8, AddressClass::Reserved},
    V4Range{V4(10, 0, 0, 0), 8, AddressClass::Private},
    V4Range{V4(100, 64, 0, 0), 10, AddressClass::Private},
    V4Range{V4(127, 0, 0, 0), 8, AddressClass::Loopback},
    V4Range{V4(169, 254, 0, 0), 16, AddressClass::LinkLocal},
    V4Range{V4(172, 16, 0, 0), 12, AddressClass::Private},
    V4Range{V4(192, 0, 0, 0), 24, AddressClass::Reserved},
    V4Range{V4(192, 0, 2, 0), 24, AddressClass::Reserved},
    V4Range{V4(192, 88, 99, 0), 24, AddressClass::Reserved},
    V4Range{V4(192, 168, 0, 0), 16, AddressClass::Private},
    V4Range{V4(198, 18, 0, 0), 15, AddressClass::Reserved},
    V4Range{V4(198, 51, 100, 0), 24, AddressClass::Reserved},
    V4Range{V4(203, 0, 113, 0), 24, AddressClass::Reserved},
    V4Range{V4(224, 0, 0, 0), 4, AddressClass::Multicast},
    V4Range{V4(240, 0, 0, 0), 4, AddressClass::Reserved},
};

AddressClass ClassifyV4(std::uint32_t address)
{
    for (const V4Range& range : kV4Ranges) {
        const std::uint32_t mask = range.prefix == 0 ? 0 : ~std::uint32_t(0) << (32 - range.prefix);
        if ((address & mask) == range.network)
            return range.kind;
    }
    return AddressClass::Public;
}

std::uint32_t V4At(const std::uint8_t* bytes)
{
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) |
           std::uint32_t(bytes[3]);
}

bool StartsWith(const std::uint8_t* bytes, std::initializer_list<std::uint8_t> prefix)
{
    return std::memcmp(bytes, prefix.begin(), prefix.size()) == 0;
}

AddressClass ClassifyV6(const std::uint8_t* b)
{
    static constexpr std::uint8_t kZero[16] = {};
    if (std::memcmp(b, kZero, 16) == 0)
        return AddressClass::Unspecified;
    if (std::memcmp(b, kZero, 15) == 0 && b[15] == 1)
        return AddressClass::Loopback;
    // ::ffff:a.b.c.d (mapped), 64:ff9b::a.b.c.d (NAT64) reach the IPv4 address.
    if (StartsWith(b, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff}) ||
        StartsWith(b, {0, 0x64, 0xff, 0x9b, 0, 0, 0, 0, 0, 0, 0, 0}))
        return ClassifyV4(V4At(b + 12));
    // 6to4 carries its IPv4 router in the next 32 bits.
    if (b[0] == 0x20 && b[1] == 0x02)
        return ClassifyV4(V4At(b + 2));
    if (b[0] == 0xff)
        return AddressClass::Multicast;
    if ((b[0] & 0xfe) == 0xfc)
        return AddressClass::Private;
    if (b[0] == 0xfe && (b[1] & 0xc0) == 0x80)
        return AddressClass::LinkLocal;
    if (b[0] == 0xfe && (b[1] & 0xc0) == 0xc0)
        return AddressClass::Private;  // the old site-local range
    if (b[0] == 0x20 && b[1] == 0x01 && b[2] == 0x0d && b[3] == 0xb8)
        return AddressClass::Reserved;  // documentation
    // Global unicast is 2000::/3; the rest (IPv4-compatible, discard, ...) is not for pages.
    if ((b[0] & 0xe0) != 0x20)
        return AddressClass::Reserved;
    return AddressClass::Public;
}

}  // namespace

AddressClass ClassifyAddress(const sockaddr* address)
{
    if (address == nullptr)
        return AddressClass::Reserved;
    if (address->sa_family == AF_INET) {
        sockaddr_in v4;
        std::memcpy(&v4, address, sizeof v4);
        return ClassifyV4(ntohl(v4.sin_addr.s_addr));
    }
    if (address->sa_family == AF_INET6) {
        sockaddr_in6 v6;
        std::memcpy(&v6, address, sizeof v6);
        return ClassifyV6(v6.sin6_addr.s6_addr);
    }
    return AddressClass::Reserved;
}

std::optional<AddressClass> ClassifyAddressText(std::string_view text)
{
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    // inet_pton wants a terminated string; no literal is longer than this.
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN)
        return std::nullopt;
    char buffer[INET6_ADDRSTRLEN] = {};
    std::memcpy(buffer, text.data(), text.size());
    in_addr v4;
    if (inet_pton(AF_INET, buffer, &v4) == 1)
        return ClassifyV4(ntohl(v4.s_addr));
    in6_addr v6;
    if (inet_pton(AF_INET6, buffer, &v6) == 1)
        return ClassifyV6(v6.s6_addr);
    return std::nullopt;
}

const char* AddressClassName(AddressClass kind)
{
    switch (kind) {
        case AddressClass::Public:
            return "public";
        case AddressClass::Loopback:
            return "on loopback";
        case AddressClass::Private:
            return "on a private network";
        case AddressClass::LinkLocal:
            return "link-local";
        case AddressClass::Unspecified:
            return "unspecified";
        case AddressClass::Multicast:
            return "multicast";
        case AddressClass::Reserved:
            return "reserved";
    }
    return "reserved";
}

std::string HttpAddressPin::AddressFor(const std::string& host, int port) const
{
    const std::lock_guard lock(mutex_);
    return host == host_ && port == port_ ? address_ : std::string();
}

void HttpAddressPin::Offer(const std::string& host, int port, const std::string& address)
{
    const std::lock_guard lock(mutex_);
    if (!address_.empty() || address.empty())
        return;
    host_ = host;
    port_ = port;
    address_ = address;
}

}  // namespace tessaro
