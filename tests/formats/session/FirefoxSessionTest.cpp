#include "formats/session/FirefoxSession.h"

#include "formats/session/FirefoxProfiles.h"
#include "formats/session/MozLz4.h"
#include "support/browserfiles/SessionFixtures.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tessaro {
namespace {

using test::ExpectedTabAddresses;
using test::MozLz4Of;
using test::ReadBytes;
using test::SessionFixture;

std::vector<std::string> Addresses(const SessionReadResult& session)
{
    std::vector<std::string> addresses;
    for (const auto& window : session.windows)
        for (const auto& tab : window.tabs)
            addresses.push_back(tab.address);
    return addresses;
}

TEST(FirefoxSession, RealFilesGiveEachTabsCurrentAddressInWindowOrder)
{
    for (const auto& [file, name] :
         {std::pair{"firefox/sessionstore-backups/recovery.jsonlz4", "firefox_recovery_running"},
          std::pair{"firefox/sessionstore.jsonlz4", "firefox_sessionstore_after_quit"}}) {
        SCOPED_TRACE(file);
        const SessionReadResult session = ReadFirefoxSession(SessionFixture(file));
        ASSERT_EQ(session.status, SessionReadStatus::Ok) << SessionReadStatusName(session.status);
        const std::vector<std::string> expected = ExpectedTabAddresses("firefox_sessions", name);
        ASSERT_EQ(expected.size(), 4u);
        EXPECT_EQ(Addresses(session), expected);
        ASSERT_EQ(session.windows.size(), 2u);
        EXPECT_EQ(session.windows[0].tabs.size(), 2u);
    }
}

TEST(FirefoxSession, DamagedFilesAreReportedWithoutTabs)
{
    const std::string real = ReadBytes(SessionFixture("firefox/sessionstore-backups/recovery.jsonlz4"));
    ASSERT_GT(real.size(), 100u);
    std::string flipped = real;
    for (std::size_t i = 40; i < flipped.size(); i += 7)
        flipped[i] = static_cast<char>(flipped[i] ^ 0x5a);
    std::string hugeDeclared = real;
    hugeDeclared[11] = static_cast<char>(0x7f);

    const struct {
        const char* name;
        std::string bytes;
        SessionReadStatus expected;
    } cases[] = {
        {"empty", "", SessionReadStatus::Empty},
        {"header cut", real.substr(0, 10), SessionReadStatus::Truncated},
        {"block cut in half", real.substr(0, real.size() / 2), SessionReadStatus::BadCompression},
        {"wrong magic", "mozLz41" + real.substr(7), SessionReadStatus::BadMagic},
        {"declared size beyond the block", hugeDeclared, SessionReadStatus::TooLarge},
        {"block bytes flipped", flipped, SessionReadStatus::BadCompression},
        {"not json", MozLz4Of("windows: none"), SessionReadStatus::BadContent},
        {"json without windows", MozLz4Of(R"({"version":["sessionrestore",1]})"), SessionReadStatus::BadContent},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SessionReadResult session = ParseFirefoxSessionFile(c.bytes);
        EXPECT_EQ(session.status, c.expected) << SessionReadStatusName(session.status);
        EXPECT_TRUE(session.windows.empty());
    }
}

TEST(FirefoxSession, TabWhoseCurrentEntryCannotBeReadKeepsAnEmptyAddress)
{
    const SessionReadResult session = ParseFirefoxSessionFile(MozLz4Of(R"({"windows":[{"tabs":[
        {"entries":[{"url":"http://a/"},{"url":"http://b/"}],"index":1},
        {"entries":[{"url":"http://c/"},{"url":"http://d/"}]},
        {"entries":[{"url":"http://e/"}],"index":2},
        {"entries":[{"url":"http://f/"}],"index":0},
        {"entries":[{"title":"no url"}],"index":1},
        {"entries":[{"url":42}],"index":1},
        {"entries":[{"url":"http://g/"}],"index":"1"},
        "not a tab"
      ]},{"tabs":[]},{"tabs":[{"entries":[{"url":"http://h/"}],"index":1}]}]})"));
    ASSERT_EQ(session.status, SessionReadStatus::Ok);
    EXPECT_EQ(Addresses(session),
              (std::vector<std::string>{"http://a/", "http://d/", "", "", "", "", "", "", "http://h/"}));
    EXPECT_EQ(session.windows.size(), 3u);
}

TEST(MozLz4, DecodesLongLiteralRunsAndRejectsSizeMismatch)
{
    const std::string text(1000, 'x');
    std::string decoded;
    EXPECT_EQ(DecodeMozLz4(MozLz4Of(text), decoded), SessionReadStatus::Ok);
    EXPECT_EQ(decoded, text);

    std::string shortDeclared = MozLz4Of(text);
    shortDeclared[8] = static_cast<char>(0xe7);  // 999 instead of 1000
    shortDeclared[9] = static_cast<char>(0x03);
    EXPECT_EQ(DecodeMozLz4(shortDeclared, decoded), SessionReadStatus::BadCompression);
    EXPECT_TRUE(decoded.empty());
}

TEST(FirefoxProfiles, ListsProfileSectionsInFileOrder)
{
    const std::string ini =
        "[Install4F96D1932A9F858E]\r\nDefault=ignored.install\r\n\r\n"
        "[Profile1]\r\nName=work\r\nIsRelative=1\r\nPath=abc.work\r\n\r\n"
        "[General]\nStartWithLastProfile=1\nPath=not-a-profile\n\n"
        "[Profile0]\nName=default\nIsRelative=0\nPath=/elsewhere/xyz.default\nDefault=1\n"
        "[Profile2]\nName=no path\n"
        "[Profile3]\nPath = spaced.profile \n"
        "[Profile4]\nPath=abc.work\n";
    EXPECT_EQ(ParseFirefoxProfilesIni(ini, "/home/u/.mozilla/firefox"),
              (std::vector<std::filesystem::path>{"/home/u/.mozilla/firefox/abc.work", "/elsewhere/xyz.default",
                                                  "/home/u/.mozilla/firefox/spaced.profile"}));
}

}  // namespace
}  // namespace tessaro
