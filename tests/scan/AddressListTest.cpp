#include "scan/AddressList.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace tessaro {
namespace {

TEST(AddressList, WindowAddressesThatAreListed)
{
    const struct {
        const char* address;
        bool listed;
    } cases[] = {
        {"http://www.example.com/Page.htm", true},
        {"https://secure.example/", true},
        {"about:blank", true},
        {"", false},
        {"file:///home/u/movie.swf", false},
        {"FILE:///C:/Folder", false},
        {"http://x.example/get?u=File://etc/passwd", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsListedWindowAddress(c.address), c.listed) << c.address;
}

TEST(AddressList, OpeningAnnouncesTheLowerCasedAddress)
{
    const struct {
        const char* address;
        std::optional<std::string> status;
    } cases[] = {
        {"www.Example.COM/Flash", "Openning Page http:// www.example.com/flash"},
        {"HTTP://Example.com/A.htm", "Openning Page http://example.com/a.htm"},
        {"https://Example.com/", "Openning Page http:// https://example.com/"},
        {"example.com/?next=http://other/", "Openning Page example.com/?next=http://other/"},
        {"  Padded ", "Openning Page http://   padded "},
        {"\xc3\x89t\xc3\xa9.example", "Openning Page http:// \xc3\x89t\xc3\xa9.example"},
        {"", std::nullopt},
        {"file:///tmp/a.htm", std::nullopt},
        {"http://x.example/?f=FiLe://c", std::nullopt},
        {"/etc/passwd", std::nullopt},
        {"~/x.html", std::nullopt},
        {"  /tmp/a.htm", std::nullopt},
        {"File:/etc/passwd", std::nullopt},
        {"example.com/~user/", "Openning Page http:// example.com/~user/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OpeningStatusText(c.address), c.status) << c.address;
}

}  // namespace
}  // namespace tessaro
