// Where an address lies and how far a page lets the program reach, without a
// connection: every row is an address the code only classifies.

#include "platform/http/NetworkReach.h"

#include "platform/http/HttpClient.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>

namespace tessaro {
namespace {

using C = AddressClass;

TEST(NetworkReach, ClassifiesEveryRangeInBothFamilies)
{
    const struct {
        const char* text;
        AddressClass kind;
    } rows[] = {
        {"127.0.0.1", C::Loopback},
        {"127.255.255.254", C::Loopback},
        {"::1", C::Loopback},
        {"[::1]", C::Loopback},
        {"::ffff:127.0.0.1", C::Loopback},
        {"10.0.0.0", C::Private},
        {"10.255.255.255", C::Private},
        {"172.16.0.1", C::Private},
        {"172.31.255.255", C::Private},
        {"172.15.255.255", C::Public},  // one below 172.16/12
        {"172.32.0.0", C::Public},      // one past it
        {"192.168.1.1", C::Private},
        {"192.169.0.0", C::Public},
        {"100.64.0.1", C::Private},
        {"100.127.255.255", C::Private},
        {"100.128.0.0", C::Public},
        {"::ffff:192.168.0.1", C::Private},
        {"::ffff:c0a8:1", C::Private},
        {"64:ff9b::10.0.0.1", C::Private},
        {"2002:0a00:0001::1", C::Private},  // 6to4 over 10.0.0.1
        {"fc00::1", C::Private},
        {"fdff:ffff::1", C::Private},
        {"fec0::1", C::Private},
        {"169.254.169.254", C::LinkLocal},
        {"::ffff:169.254.0.1", C::LinkLocal},
        {"fe80::1", C::LinkLocal},
        {"febf::1", C::LinkLocal},
        {"0.0.0.0", C::Unspecified},
        {"::", C::Unspecified},
        {"::ffff:0.0.0.0", C::Unspecified},
        {"224.0.0.1", C::Multicast},
        {"239.255.255.255", C::Multicast},
        {"ff02::1", C::Multicast},
        {"0.1.2.3", C::Reserved},
        {"192.0.2.1", C::Reserved},
        {"198.18.0.1", C::Reserved},
        {"203.0.113.9", C::Reserved},
        {"240.0.0.1", C::Reserved},
        {"255.255.255.255", C::Reserved},
        {"2001:db8::1", C::Reserved},
        {"::2", C::Reserved},
        {"100::1", C::Reserved},
        {"8.8.8.8", C::Public},
        {"1.1.1.1", C::Public},
        {"::ffff:8.8.8.8", C::Public},
        {"2606:4700::1111", C::Public},
        {"2a00:1450::1", C::Public},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ClassifyAddressText(row.text), row.kind);
        // The connected address comes as a socket address: the same answer.
        std::string bare = row.text;
        if (bare.front() == '[')
            bare = bare.substr(1, bare.size() - 2);
        sockaddr_in v4{};
        sockaddr_in6 v6{};
        if (inet_pton(AF_INET, bare.c_str(), &v4.sin_addr) == 1) {
            v4.sin_family = AF_INET;
            EXPECT_EQ(ClassifyAddress(reinterpret_cast<const sockaddr*>(&v4)), row.kind);
        } else {
            ASSERT_EQ(inet_pton(AF_INET6, bare.c_str(), &v6.sin6_addr), 1);
            v6.sin6_family = AF_INET6;
            EXPECT_EQ(ClassifyAddress(reinterpret_cast<const sockaddr*>(&v6)), row.kind);
        }
        EXPECT_EQ(Reaches(HttpReach::PublicOnly, row.kind), row.kind == C::Public);
        EXPECT_TRUE(Reaches(HttpReach::Anywhere, row.kind));
    }
    for (const char* name : {"", "localhost", "example.test", "10.0.0", "1.2.3.4.5", "[::1", "::1]", "127.0.0.1 "})
        EXPECT_EQ(ClassifyAddressText(name), std::nullopt) << name;
}

// The page's own address: literals and "localhost" are read, a name that
// only the user's network can have is looked up (here the loopback route
// answers every lookup, as it answers fetches).
TEST(NetworkReach, APageOnTheUsersNetworkLetsTheProgramReachIt)
{
    const struct {
        const char* page;
        bool routed;
        HttpReach reach;
    } rows[] = {
        {"http://127.0.0.1:8080/index.html", false, HttpReach::Anywhere},
        {"http://[::1]/", false, HttpReach::Anywhere},
        {"http://LocalHost/", false, HttpReach::Anywhere},
        {"https://app.localhost/", false, HttpReach::Anywhere},
        {"http://10.1.2.3/", false, HttpReach::Anywhere},
        {"http://[fe80::1]/", false, HttpReach::Anywhere},
        {"http://www.site.test/page.html", true, HttpReach::Anywhere},
        {"http://nas/", true, HttpReach::Anywhere},
        {"http://printer.local./", true, HttpReach::Anywhere},
        // A name anyone can own, whose lookup here answers loopback: its
        // owner may have answered the browser with a public address.
        {"http://www.rebound.example/", true, HttpReach::PublicOnly},
        {"ftp://127.0.0.1/", true, HttpReach::PublicOnly},
        {"not an address", true, HttpReach::PublicOnly},
        {"", false, HttpReach::PublicOnly},
        {"http://127.0.0.1\x1b/", false, HttpReach::PublicOnly},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.page);
        RouteHttpToLoopback(row.routed ? 9 : 0);
        const QUrl address = HttpAddress(QString::fromUtf8(row.page));
        EXPECT_EQ(ReachOfPage(address), row.reach);
        PageNetwork page{address};
        EXPECT_EQ(page.Reach(), row.reach);
        RouteHttpToLoopback(0);
        EXPECT_EQ(page.Reach(), row.reach);  // found once, kept
    }
}

}  // namespace
}  // namespace tessaro
