#include "formats/session/ChromiumSession.h"

#include "formats/session/ChromiumLocalState.h"
#include "formats/session/SnssFile.h"
#include "support/browserfiles/SessionFixtures.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace tessaro {
namespace {

using test::ExpectedHistoryAddresses;
using test::ExpectedTabAddresses;
using test::ReadBytes;
using test::SessionFixture;

const char* const kXvfbClear = "chromium/xvfb_session/Sessions/Session_13441176574020577";
const char* const kXvfbEncrypted = "chromium/xvfb_session/Sessions_Encrypted/Session_13441176574021195";
const char* const kHeadlessClear = "chromium/headless_session/Sessions/Session_13441176564196439";
const char* const kHeadlessEncrypted = "chromium/headless_session/Sessions_Encrypted/Session_13441176564196768";

std::vector<std::string> Addresses(const std::vector<SessionWindow>& windows)
{
    std::vector<std::string> addresses;
    for (const auto& window : windows)
        for (const auto& tab : window.tabs)
            addresses.push_back(tab.address);
    return addresses;
}

std::string Int32s(std::initializer_list<std::int32_t> values)
{
    std::string bytes;
    for (const std::int32_t value : values)
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xff);
    return bytes;
}

// The pickle Chromium writes for UpdateTabNavigation (only the fields read).
std::string NavigationPickle(std::int32_t tab, std::int32_t index, const std::string& url)
{
    std::string payload = Int32s({tab, index, static_cast<std::int32_t>(url.size())}) + url;
    payload.resize((payload.size() + 3) & ~std::size_t(3), '\0');
    payload += Int32s({0});  // empty title
    return Int32s({static_cast<std::int32_t>(payload.size())}) + payload;
}

std::string ClearTextSnss(const std::vector<SnssCommand>& commands)
{
    std::string file = "SNSS" + Int32s({3});
    for (const SnssCommand& command : commands) {
        const std::size_t size = command.payload.size() + 1;
        file += static_cast<char>(size & 0xff);
        file += static_cast<char>(size >> 8);
        file += static_cast<char>(command.id);
        file += command.payload;
    }
    return file;
}

TEST(ChromiumSession, RealFilesGiveEachTabsCurrentAddressInWindowOrder)
{
    const struct {
        const char* file;
        const char* expected;
        std::size_t windows;
    } cases[] = {
        {kXvfbClear, "chromium_xvfb_sessions_session", 2},
        {kXvfbEncrypted, "chromium_xvfb_sessions_encrypted_session", 2},
        {kHeadlessClear, "chromium_headless_session", 1},
        {kHeadlessEncrypted, "chromium_headless_session", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const SessionReadResult session = ReadChromiumSession(SessionFixture(c.file));
        ASSERT_EQ(session.status, SessionReadStatus::Ok) << SessionReadStatusName(session.status);
        const std::vector<std::string> expected = ExpectedTabAddresses("chromium_sessions", c.expected);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(Addresses(session.windows), expected);
        EXPECT_EQ(session.windows.size(), c.windows);
    }
}

TEST(ChromiumSession, EncryptedCopyHoldsTheSameCommandsAsTheClearText)
{
    const SnssReadResult clear = ParseSnss(ReadBytes(SessionFixture(kXvfbClear)));
    const SnssReadResult encrypted = ParseSnss(ReadBytes(SessionFixture(kXvfbEncrypted)));
    ASSERT_EQ(clear.version, 3);
    ASSERT_EQ(encrypted.version, 5);
    ASSERT_EQ(encrypted.status, SessionReadStatus::Ok);
    ASSERT_EQ(clear.commands.size(), encrypted.commands.size());
    for (std::size_t i = 0; i < clear.commands.size(); ++i) {
        EXPECT_EQ(clear.commands[i].id, encrypted.commands[i].id) << i;
        EXPECT_EQ(clear.commands[i].payload, encrypted.commands[i].payload) << i;
    }
}

TEST(ChromiumSession, DamagedFilesNeitherCrashNorInventTabs)
{
    const std::string clear = ReadBytes(SessionFixture(kXvfbClear));
    const std::string encrypted = ReadBytes(SessionFixture(kXvfbEncrypted));
    std::string keyring = encrypted;
    keyring[kSnssHeaderSize + 4 + 2] = '1';  // "v10" -> "v11": a key from the desktop keyring
    std::string badPadding = encrypted;
    badPadding[encrypted.size() - 1] = static_cast<char>(badPadding.back() ^ 0x01);
    std::string oldVersion = clear;
    oldVersion[4] = 1;

    const struct {
        const char* name;
        std::string bytes;
        SessionReadStatus expected;
    } cases[] = {
        {"empty", "", SessionReadStatus::Empty},
        {"header cut", clear.substr(0, 6), SessionReadStatus::Truncated},
        {"wrong magic", "SNSZ" + clear.substr(4), SessionReadStatus::BadMagic},
        {"old version", oldVersion, SessionReadStatus::UnsupportedVersion},
        {"clear text cut in half", clear.substr(0, clear.size() / 2), SessionReadStatus::Truncated},
        {"encrypted cut in half", encrypted.substr(0, encrypted.size() / 2), SessionReadStatus::Truncated},
        {"key from the keyring", keyring, SessionReadStatus::UnknownKey},
        {"last record damaged", badPadding, SessionReadStatus::BadContent},
    };
    const std::vector<std::string> all =
        ExpectedHistoryAddresses("chromium_sessions", "chromium_xvfb_sessions_session");
    ASSERT_EQ(all.size(), 4u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SessionReadResult session = ParseChromiumSessionFile(c.bytes);
        EXPECT_EQ(session.status, c.expected) << SessionReadStatusName(session.status);
        // Whatever survives is an address the browser really showed.
        for (const std::string& address : Addresses(session.windows))
            EXPECT_NE(std::find(all.begin(), all.end(), address), all.end()) << address;
    }
    EXPECT_TRUE(ParseChromiumSessionFile(keyring).windows.empty());
}

TEST(ChromiumSession, TabsFollowClosingPruningAndSelection)
{
    const std::vector<SnssCommand> commands = {
        {snss::kSetTabWindow, Int32s({7, 100})},
        {snss::kSetTabWindow, Int32s({7, 101})},
        {snss::kSetTabWindow, Int32s({3, 102})},
        {snss::kSetTabWindow, Int32s({3, 103})},
        {snss::kSetTabWindow, Int32s({9, 104})},
        {snss::kSetTabWindow, Int32s({3, 105})},
        {snss::kSetTabIndexInWindow, Int32s({100, 1})},
        {snss::kSetTabIndexInWindow, Int32s({101, 0})},
        {snss::kUpdateTabNavigation, NavigationPickle(100, 0, "http://w7/second")},
        {snss::kUpdateTabNavigation, NavigationPickle(101, 0, "http://w7/first")},
        // Tab 102: history a, b, c; pruning b moves c down; the selection names the old c.
        {snss::kUpdateTabNavigation, NavigationPickle(102, 0, "http://w3/a")},
        {snss::kUpdateTabNavigation, NavigationPickle(102, 1, "http://w3/b")},
        {snss::kUpdateTabNavigation, NavigationPickle(102, 2, "http://w3/c")},
        {snss::kTabNavigationPathPruned, Int32s({102, 1, 1})},
        {snss::kSetSelectedNavigationIndex, Int32s({102, 1})},
        // Tab 103 selects an entry past its history: the last one is shown.
        {snss::kUpdateTabNavigation, NavigationPickle(103, 0, "http://w3/x")},
        {snss::kUpdateTabNavigation, NavigationPickle(103, 1, "http://w3/y")},
        {snss::kSetSelectedNavigationIndex, Int32s({103, 5})},
        {snss::kSetTabIndexInWindow, Int32s({103, 1})},
        // Window 9 closes; tab 105 closes; tab 106 has no window; 107 has no navigation.
        {snss::kUpdateTabNavigation, NavigationPickle(104, 0, "http://w9/gone")},
        {snss::kWindowClosed, Int32s({9, 0, 0, 0})},
        {snss::kUpdateTabNavigation, NavigationPickle(105, 0, "http://w3/closed")},
        {snss::kTabClosed, Int32s({105, 0, 0, 0})},
        {snss::kUpdateTabNavigation, NavigationPickle(106, 0, "http://nowhere/")},
        {snss::kSetTabWindow, Int32s({3, 107})},
        // Payloads too short for their fields are passed over.
        {snss::kSetTabWindow, Int32s({9})},
        {snss::kUpdateTabNavigation, NavigationPickle(102, 0, "http://w3/long").substr(0, 14)},
        {snss::kUpdateTabNavigation, Int32s({-4}) + Int32s({102, 0, 1000})},
        {snss::kTabClosed, ""},
    };
    const std::vector<SessionWindow> windows = ReplaySessionCommands(commands);
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(Addresses({windows[0]}), (std::vector<std::string>{"http://w3/c", "http://w3/y"}));
    EXPECT_EQ(Addresses({windows[1]}), (std::vector<std::string>{"http://w7/first", "http://w7/second"}));
}

TEST(ChromiumSession, SelectionFollowsPruningFromTheFrontAndBack)
{
    const std::vector<SnssCommand> commands = {
        {snss::kSetTabWindow, Int32s({1, 10})},
        {snss::kUpdateTabNavigation, NavigationPickle(10, 0, "http://a/")},
        {snss::kUpdateTabNavigation, NavigationPickle(10, 1, "http://b/")},
        {snss::kUpdateTabNavigation, NavigationPickle(10, 2, "http://c/")},
        {snss::kUpdateTabNavigation, NavigationPickle(10, 3, "http://d/")},
        {snss::kSetSelectedNavigationIndex, Int32s({10, 2})},
        {snss::kTabNavigationPathPrunedFromFront, Int32s({10, 1})},  // b c d, selected c
        {snss::kTabNavigationPathPrunedFromBack, Int32s({10, 2})},   // b c
    };
    EXPECT_EQ(Addresses(ReplaySessionCommands(commands)), std::vector<std::string>{"http://c/"});
    std::vector<SnssCommand> moreBack = commands;
    moreBack.push_back({snss::kTabNavigationPathPrunedFromBack, Int32s({10, 1})});  // b
    EXPECT_EQ(Addresses(ReplaySessionCommands(moreBack)), std::vector<std::string>{"http://b/"});
}

TEST(ChromiumSession, ClearTextRecordsEndAtAZeroSize)
{
    std::string file = ClearTextSnss(
        {{snss::kSetTabWindow, Int32s({1, 10})}, {snss::kUpdateTabNavigation, NavigationPickle(10, 0, "http://a/")}});
    file += std::string(2, '\0');
    file += ClearTextSnss({{snss::kUpdateTabNavigation, NavigationPickle(10, 0, "http://later/")}}).substr(8);
    const SessionReadResult session = ParseChromiumSessionFile(file);
    EXPECT_EQ(session.status, SessionReadStatus::Ok);
    EXPECT_EQ(Addresses(session.windows), std::vector<std::string>{"http://a/"});
}

TEST(ChromiumLocalState, NamesTheActiveProfilesOnlyWhenTheListIsThere)
{
    using Names = std::optional<std::vector<std::string>>;
    EXPECT_EQ(ParseLastActiveProfiles(R"({"profile":{"last_active_profiles":["Default","Profile 2",3,""]}})"),
              (Names{{"Default", "Profile 2"}}));
    EXPECT_EQ(ParseLastActiveProfiles(R"({"profile":{"last_active_profiles":[]}})"), Names{std::vector<std::string>{}});
    EXPECT_EQ(ParseLastActiveProfiles(R"({"profile":{"info_cache":{}}})"), std::nullopt);
    EXPECT_EQ(ParseLastActiveProfiles(R"({"profile":{"last_active_profiles":"Default"}})"), std::nullopt);
    EXPECT_EQ(ParseLastActiveProfiles("not json"), std::nullopt);
}

}  // namespace
}  // namespace tessaro
