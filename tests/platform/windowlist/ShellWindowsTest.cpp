#include "platform/windowlist/ShellWindows.h"

#include "platform/windowlist/BrowserLock.h"
#include "support/TempDir.h"
#include "support/browserfiles/SessionFixtures.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::ExpectedTabAddresses;
using test::ReadBytes;
using test::SessionFixture;
using test::TempDir;

// Far above any pid_max: no process has it.
constexpr const char* kDeadPid = "999999999";

std::string LivePid()
{
    return std::to_string(::getpid());
}

void Lock(const fs::path& link, const std::string& target)
{
    fs::create_directories(link.parent_path());
    fs::create_symlink(target, link);
}

void CopyFixture(const char* fixture, const fs::path& to)
{
    fs::create_directories(to.parent_path());
    fs::copy_file(SessionFixture(fixture), to);
}

std::vector<std::string> Entries(const ShellWindows& windows)
{
    std::vector<std::string> entries;
    for (int i = 0; i < windows.Count(); ++i)
        entries.push_back(windows.LocationURL(i).toStdString());
    return entries;
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(BrowserLock, APidIsOneToTheLargestPidWhereverItIsRead)
{
    TempDir dir;
    // A lock link's target, and the same number as bwrapinfo.json's child-pid.
    const struct {
        const char* target;
        const char* json;  // null: the target's digits
        std::optional<pid_t> pid;
    } cases[] = {
        {"127.0.1.1:+4242", nullptr, 4242},
        {"my-host-name-77", nullptr, 77},
        {"host-", "\"77\"", std::nullopt},
        {"host-0", nullptr, std::nullopt},
        {"host-0000042", "42.5", 42},
        {"host-2147483647", nullptr, 2147483647},
        // One past the largest pid, and what kill() would read as a group or everyone.
        {"host-2147483648", nullptr, std::nullopt},
        {"host-4294967295", nullptr, std::nullopt},
        {"host-18446744073709551615", nullptr, std::nullopt},
        {"host-99999999999999999999999", "-1", std::nullopt},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const fs::path link = dir.path() / std::to_string(n++);
        fs::create_symlink(c.target, link);
        EXPECT_EQ(LockOwnerPid(link), c.pid);
        const std::string target = c.target;
        const std::string number = target.substr(target.find_last_not_of("0123456789") + 1);
        const std::string json = std::string("{\"child-pid\": ") + (c.json ? c.json : number) + "}";
        EXPECT_EQ(BwrapChildPid(json), c.json ? std::nullopt : c.pid) << json;
    }
    EXPECT_EQ(BwrapChildPid("{\"child-pid\": 4242}"), 4242);
    dir.write("plain", "127.0.0.1:+1");
    EXPECT_EQ(LockOwnerPid(dir.path() / "plain"), std::nullopt);
    EXPECT_EQ(LockOwnerPid(dir.path() / "missing"), std::nullopt);
    EXPECT_TRUE(IsLiveProcess(::getpid()));
    EXPECT_FALSE(IsLiveProcess(PidOf(std::stol(kDeadPid))));
    EXPECT_FALSE(IsLiveProcess(PidOf(4294967295)));

    // An instance whose child-pid reads as -1 as a pid_t, and one whose info
    // is a FIFO (its open would wait for a writer): neither runs.
    const fs::path run = dir.path() / "run";
    dir.write("run/.flatpak/1/info", "[Application]\nname=org.example.App\n");
    dir.write("run/.flatpak/1/bwrapinfo.json", "{\"child-pid\": 4294967295}");
    fs::create_directories(run / ".flatpak/2");
    ASSERT_EQ(::mkfifo((run / ".flatpak/2/info").c_str(), 0600), 0);
    dir.write("run/.flatpak/2/bwrapinfo.json", "{\"child-pid\": " + LivePid() + "}");
    EXPECT_FALSE(FlatpakAppRunning(run, "org.example.App"));
    dir.write("run/.flatpak/3/info", "[Application]\nname=org.example.App\n");
    dir.write("run/.flatpak/3/bwrapinfo.json", "{\"child-pid\": " + LivePid() + "}");
    EXPECT_TRUE(FlatpakAppRunning(run, "org.example.App"));
}

TEST(ShellWindows, ListsTabsOfRunningBrowsersOnlyBrowserByBrowser)
{
    TempDir home;
    const fs::path firefox = home.path() / ".mozilla/firefox";
    home.write(".mozilla/firefox/profiles.ini",
               "[Profile0]\nPath=live.default\n"
               "[Profile1]\nPath=stale.default\n"
               "[Profile2]\nPath=unlocked\n"
               "[Profile3]\nPath=damaged\n"
               "[Profile4]\nIsRelative=0\nPath=" +
                   (home.path() / "abs").string() + "\n");
    Lock(firefox / "live.default/lock", "127.0.0.1:+" + LivePid());
    CopyFixture("firefox/sessionstore-backups/recovery.jsonlz4",
                firefox / "live.default/sessionstore-backups/recovery.jsonlz4");
    Lock(firefox / "stale.default/lock", std::string("127.0.0.1:+") + kDeadPid);
    CopyFixture("firefox/sessionstore-backups/recovery.jsonlz4",
                firefox / "stale.default/sessionstore-backups/recovery.jsonlz4");
    CopyFixture("firefox/sessionstore-backups/recovery.jsonlz4",
                firefox / "unlocked/sessionstore-backups/recovery.jsonlz4");
    Lock(firefox / "damaged/lock", "127.0.0.1:+" + LivePid());
    const std::string recovery = ReadBytes(SessionFixture("firefox/sessionstore-backups/recovery.jsonlz4"));
    home.write(".mozilla/firefox/damaged/sessionstore-backups/recovery.jsonlz4", recovery.substr(0, 300));
    // Only the previous copy is there: it is read instead.
    Lock(home.path() / "abs/lock", "127.0.0.1:+" + LivePid());
    CopyFixture("firefox/sessionstore.jsonlz4", home.path() / "abs/sessionstore-backups/recovery.baklz4");

    const fs::path config = home.path() / "config";
    // Chromium: both copies; the clear text is read.
    Lock(config / "chromium/SingletonLock", "host-" + LivePid());
    CopyFixture("chromium/xvfb_session/Sessions/Session_13441176574020577",
                config / "chromium/Default/Sessions/Session_13441176574020577");
    CopyFixture("chromium/xvfb_session/Sessions_Encrypted/Session_13441176574021195",
                config / "chromium/Default/Sessions_Encrypted/Session_13441176574021195");
    // A profile without open windows keeps the session of its last run.
    home.write("config/chromium/Local State", R"({"profile":{"last_active_profiles":["Default"]}})");
    CopyFixture("chromium/headless_session/Sessions/Session_13441176564196439",
                config / "chromium/Profile 3/Sessions/Session_13441176564196439");
    // Google Chrome: only the encrypted copy, under the fallback key; the
    // older, damaged session beside it is not read.
    Lock(config / "google-chrome/SingletonLock", "host-" + LivePid());
    CopyFixture("chromium/headless_session/Sessions_Encrypted/Session_13441176564196768",
                config / "google-chrome/Profile 1/Sessions_Encrypted/Session_13441176564196768");
    home.write("config/google-chrome/Profile 1/Sessions_Encrypted/Session_13441176564000000", "SNSS");
    // Brave is not running.
    Lock(config / "BraveSoftware/Brave-Browser/SingletonLock", std::string("host-") + kDeadPid);
    CopyFixture("chromium/xvfb_session/Sessions/Session_13441176574020577",
                config / "BraveSoftware/Brave-Browser/Default/Sessions/Session_13441176574020577");
    // Vivaldi keeps its key in the keyring: passed over.
    Lock(config / "vivaldi/SingletonLock", "host-" + LivePid());
    std::string keyring =
        ReadBytes(SessionFixture("chromium/xvfb_session/Sessions_Encrypted/Session_13441176574021195"));
    keyring[14] = '1';
    home.write("config/vivaldi/Default/Sessions_Encrypted/Session_13441176574021195", keyring);
    // Edge runs but its session is damaged: one entry without an address.
    Lock(config / "microsoft-edge/SingletonLock", "host-" + LivePid());
    home.write("config/microsoft-edge/Default/Sessions/Session_13441176574020577", "SNSX\3\0\0\0garbage");
    // Opera keeps its profile in the user data folder itself.
    Lock(config / "opera/SingletonLock", "host-" + LivePid());
    CopyFixture("chromium/headless_session/Sessions/Session_13441176564196439",
                config / "opera/Sessions/Session_13441176564196439");

    const ShellWindows windows(BrowserFolders{home.path(), config, {}, {}});
    const std::vector<std::string> expected = Concat({
        ExpectedTabAddresses("firefox_sessions", "firefox_recovery_running"),
        {""},
        ExpectedTabAddresses("firefox_sessions", "firefox_sessionstore_after_quit"),
        ExpectedTabAddresses("chromium_sessions", "chromium_xvfb_sessions_session"),
        ExpectedTabAddresses("chromium_sessions", "chromium_headless_session"),
        {""},
        ExpectedTabAddresses("chromium_sessions", "chromium_headless_session"),
    });
    ASSERT_EQ(expected.size(), 4u + 1u + 4u + 3u + 1u + 1u + 1u);
    EXPECT_EQ(Entries(windows), expected);
    EXPECT_TRUE(windows.LocationURL(-1).isEmpty());
    EXPECT_TRUE(windows.LocationURL(windows.Count()).isEmpty());
}

// Every place of the browser homes table, laid out with the real session files
// in a home of its own: tabs for a running browser, nothing for a stopped one.
TEST(ShellWindows, FindsTheTabsOfEveryKindOfInstallOnlyWhileItRuns)
{
    enum class Session { Firefox, Chromium };
    const struct {
        const char* name;
        Session session;
        const char* profiles;  // the Firefox folder or the Chromium user data folder, under the home
        const char* flatpak;   // the Flatpak app whose instance runs, if any
    } rows[] = {
        {"Firefox XDG", Session::Firefox, "config/mozilla/firefox", ""},
        {"Firefox snap", Session::Firefox, "snap/firefox/common/.mozilla/firefox", ""},
        {"Firefox Flatpak", Session::Firefox, ".var/app/org.mozilla.firefox/.mozilla/firefox", "org.mozilla.firefox"},
        {"Firefox Flatpak XDG", Session::Firefox, ".var/app/org.mozilla.firefox/config/mozilla/firefox",
         "org.mozilla.firefox"},
        {"Chromium snap", Session::Chromium, "snap/chromium/common/chromium", ""},
        {"Chromium Flatpak", Session::Chromium, ".var/app/org.chromium.Chromium/config/chromium",
         "org.chromium.Chromium"},
        {"Chrome Beta", Session::Chromium, "config/google-chrome-beta", ""},
        {"Chrome Flatpak", Session::Chromium, ".var/app/com.google.Chrome/config/google-chrome", "com.google.Chrome"},
        {"Brave Flatpak", Session::Chromium, ".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser",
         "com.brave.Browser"},
        {"Edge Flatpak", Session::Chromium, ".var/app/com.microsoft.Edge/config/microsoft-edge", "com.microsoft.Edge"},
        {"Vivaldi Snapshot", Session::Chromium, "config/vivaldi-snapshot", ""},
        {"Opera Developer", Session::Chromium, "config/opera-developer", ""},
    };
    for (const auto& row : rows) {
        for (const bool running : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (running ? " running" : " stopped"));
            TempDir home;
            const fs::path profiles = home.path() / row.profiles;
            const bool flatpak = *row.flatpak != '\0';
            // A Flatpak lock names a pid of the sandbox's namespace: dead here.
            const std::string pid = running && !flatpak ? LivePid() : kDeadPid;
            std::vector<std::string> expected;
            if (row.session == Session::Firefox) {
                home.write(fs::relative(profiles / "profiles.ini", home.path()).string(),
                           "[Profile0]\nPath=abc.default-esr\n");
                Lock(profiles / "abc.default-esr/lock", "127.0.0.1:+" + pid);
                CopyFixture("firefox/sessionstore-backups/recovery.jsonlz4",
                            profiles / "abc.default-esr/sessionstore-backups/recovery.jsonlz4");
                expected = ExpectedTabAddresses("firefox_sessions", "firefox_recovery_running");
            } else {
                Lock(profiles / "SingletonLock", "host-" + pid);
                CopyFixture("chromium/xvfb_session/Sessions/Session_13441176574020577",
                            profiles / "Default/Sessions/Session_13441176574020577");
                expected = ExpectedTabAddresses("chromium_sessions", "chromium_xvfb_sessions_session");
            }
            if (flatpak && running) {
                home.write("run/.flatpak/1234/info", "[Application]\nname=" + std::string(row.flatpak) +
                                                         "\nruntime=runtime/x/y/z\n\n[Instance]\ninstance-id=1234\n");
                home.write("run/.flatpak/1234/bwrapinfo.json", "{\"child-pid\": " + LivePid() + "}");
            }
            // Another app's instance never counts.
            home.write("run/.flatpak/99/info", "[Application]\nname=org.example.Other\n");
            home.write("run/.flatpak/99/bwrapinfo.json", "{\"child-pid\": " + LivePid() + "}");
            const ShellWindows windows(
                BrowserFolders{home.path(), home.path() / "config", home.path() / "cache", home.path() / "run"});
            EXPECT_EQ(Entries(windows), running ? expected : std::vector<std::string>{});
        }
    }
}

TEST(ShellWindows, LeftoverClearTextIsPassedOverForANewerEncryptedSession)
{
    TempDir home;
    const fs::path chromium = home.path() / "config/chromium";
    Lock(chromium / "SingletonLock", "host-" + LivePid());
    CopyFixture("chromium/headless_session/Sessions/Session_13441176564196439",
                chromium / "Default/Sessions/Session_13441176000000000");
    CopyFixture("chromium/xvfb_session/Sessions_Encrypted/Session_13441176574021195",
                chromium / "Default/Sessions_Encrypted/Session_13441176574021195");
    const ShellWindows windows(BrowserFolders{home.path(), home.path() / "config", {}, {}});
    EXPECT_EQ(Entries(windows), ExpectedTabAddresses("chromium_sessions", "chromium_xvfb_sessions_session"));
}

TEST(ShellWindows, NoBrowserFoldersGiveNoEntriesAndNoHomeFailsTheWholeList)
{
    TempDir home;
    EXPECT_EQ(ShellWindows(BrowserFolders{home.path(), home.path() / ".config", {}, {}}).Count(), 0);

    const char* saved = std::getenv("HOME");
    const std::string previous = saved ? saved : "";
    ::setenv("HOME", (home.path() / "no such folder").c_str(), 1);
    EXPECT_THROW(ShellWindows{}, std::runtime_error);
    ::unsetenv("HOME");
    EXPECT_THROW(ShellWindows{}, std::runtime_error);
    ::setenv("HOME", home.path().c_str(), 1);
    EXPECT_EQ(ShellWindows{}.Count(), 0);
    if (saved)
        ::setenv("HOME", previous.c_str(), 1);
}

}  // namespace
}  // namespace tessaro
