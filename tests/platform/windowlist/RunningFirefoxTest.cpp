#include "formats/session/FirefoxProfiles.h"
#include "platform/windowlist/ShellWindows.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

namespace tessaro {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFirefox = "/usr/bin/firefox-esr";
// A first start of the browser on a loaded two-core machine.
constexpr int kStartMs = 90'000;

bool Lists(const ShellWindows& windows, const std::string& address)
{
    for (int i = 0; i < windows.Count(); ++i)
        if (windows.LocationURL(i).toStdString() == address)
            return true;
    return false;
}

// Debian's Firefox ESR, started with a fresh profile in a home of its own and
// two tabs: both are offered while it runs, wherever this version keeps the
// profile.
TEST(RunningFirefox, BothTabsOfAFreshProfileAreListed)
{
    if (!fs::exists(kFirefox))
        GTEST_SKIP() << kFirefox << " is not installed (scripts/dev.sh test installs the firefox-esr package)";
    test::TempDir home;
    test::LoopbackHttpServer site;
    site.route("/first.html", "<title>first</title>", "text/html");
    site.route("/second.html", "<title>second</title>", "text/html");
    const std::string first = site.origin() + "/first.html";
    const std::string second = site.origin() + "/second.html";

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(home.path().string()));
    env.remove("XDG_CONFIG_HOME");
    env.insert("XDG_CACHE_HOME", QString::fromStdString((home.path() / ".cache").string()));
    env.insert("MOZ_HEADLESS", "1");

    QProcess create;
    create.setProcessEnvironment(env);
    create.start(kFirefox, {"--headless", "-CreateProfile", "tessaro"});
    ASSERT_TRUE(create.waitForFinished(kStartMs));
    ASSERT_EQ(create.exitCode(), 0);
    const BrowserFolders folders{home.path(), home.path() / ".config", home.path() / ".cache", {}};
    std::vector<fs::path> profiles;
    for (const BrowserHome& browserHome : BrowserHomes(folders))
        if (browserHome.engine == BrowserEngine::Firefox)
            for (const fs::path& profile : FirefoxProfiles(browserHome.profiles))
                profiles.push_back(profile);
    ASSERT_EQ(profiles.size(), 1u) << "the new profile is in a place the browser homes know";
    // Sessions are written every 15 s by default; the test need not wait that long.
    home.write(fs::relative(profiles[0] / "user.js", home.path()).string(),
               "user_pref(\"browser.sessionstore.interval\", 500);\n"
               "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
               "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n");

    QProcess firefox;
    firefox.setProcessEnvironment(env);
    firefox.start(kFirefox,
                  {"--headless", "-P", "tessaro", QString::fromStdString(first), QString::fromStdString(second)});
    ASSERT_TRUE(firefox.waitForStarted(kStartMs));
    bool listed = false;
    const QDeadlineTimer deadline(kStartMs);
    while (!listed && !deadline.hasExpired() && firefox.state() == QProcess::Running) {
        const ShellWindows windows(folders);
        listed = Lists(windows, first) && Lists(windows, second);
        if (!listed)
            QThread::msleep(250);
    }
    firefox.terminate();
    if (!firefox.waitForFinished(15'000)) {
        firefox.kill();
        firefox.waitForFinished(5'000);
    }
    EXPECT_TRUE(listed) << "both tabs of the running browser";
    // Stopped, it offers nothing.
    EXPECT_EQ(ShellWindows(folders).Count(), 0);
}

}  // namespace
}  // namespace tessaro
