#include "platform/core/BrowserHomes.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace tessaro {

namespace {

namespace fs = std::filesystem;

// One member of the Chromium family: its folder under ~/.config and ~/.cache,
// its snap name and Flatpak id where it is packaged so (empty otherwise).
struct ChromiumBrowser {
    const char* name;
    const char* folder;
    const char* snap;
    const char* flatpak;
};

constexpr ChromiumBrowser kChromiumFamily[] = {
    {"Chromium", "chromium", "chromium", "org.chromium.Chromium"},
    {"Google Chrome", "google-chrome", "", "com.google.Chrome"},
    {"Google Chrome Beta", "google-chrome-beta", "", ""},
    {"Google Chrome Unstable", "google-chrome-unstable", "", ""},
    {"Brave", "BraveSoftware/Brave-Browser", "", "com.brave.Browser"},
    {"Vivaldi", "vivaldi", "", ""},
    {"Vivaldi Snapshot", "vivaldi-snapshot", "", ""},
    {"Microsoft Edge", "microsoft-edge", "", "com.microsoft.Edge"},
    {"Microsoft Edge Beta", "microsoft-edge-beta", "", ""},
    {"Microsoft Edge Dev", "microsoft-edge-dev", "", ""},
    {"Opera", "opera", "", ""},
    {"Opera Beta", "opera-beta", "", ""},
    {"Opera Developer", "opera-developer", "", ""},
};

constexpr const char* kFirefoxFlatpak = "org.mozilla.firefox";

bool IsDirectory(const fs::path& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

fs::path FromEnvironment(const char* name, const fs::path& fallback)
{
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? fs::path(value) : fallback;
}

}  // namespace

BrowserFolders BrowserFolders::OfCurrentUser()
{
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/' || !IsDirectory(home))
        throw std::runtime_error("The open browser windows cannot be listed: no home folder.");
    BrowserFolders folders;
    folders.home = home;
    folders.config = FromEnvironment("XDG_CONFIG_HOME", folders.home / ".config");
    folders.cache = FromEnvironment("XDG_CACHE_HOME", folders.home / ".cache");
    folders.runtime = FromEnvironment("XDG_RUNTIME_DIR", {});
    return folders;
}

std::vector<BrowserHome> BrowserHomes(const BrowserFolders& folders)
{
    const fs::path cache = folders.CacheFolder();
    const fs::path snaps = folders.home / "snap";
    const fs::path flatpaks = folders.home / ".var" / "app";
    std::vector<BrowserHome> homes;

    // Firefox keeps new profiles under the configuration folder, older ones
    // under ~/.mozilla; the cache is in the cache folder for both.
    const fs::path firefoxCache = cache / "mozilla" / "firefox";
    const fs::path firefoxSnap = snaps / "firefox" / "common";
    const fs::path firefoxFlatpak = flatpaks / kFirefoxFlatpak;
    homes.push_back({"Firefox", BrowserEngine::Firefox, BrowserPackage::Native, folders.home / ".mozilla" / "firefox",
                     firefoxCache, ""});
    homes.push_back({"Firefox", BrowserEngine::Firefox, BrowserPackage::Xdg, folders.config / "mozilla" / "firefox",
                     firefoxCache, ""});
    homes.push_back({"Firefox", BrowserEngine::Firefox, BrowserPackage::Snap, firefoxSnap / ".mozilla" / "firefox",
                     firefoxSnap / ".cache" / "mozilla" / "firefox", ""});
    homes.push_back({"Firefox", BrowserEngine::Firefox, BrowserPackage::Flatpak,
                     firefoxFlatpak / ".mozilla" / "firefox", firefoxFlatpak / "cache" / "mozilla" / "firefox",
                     kFirefoxFlatpak});
    homes.push_back({"Firefox", BrowserEngine::Firefox, BrowserPackage::Flatpak,
                     firefoxFlatpak / "config" / "mozilla" / "firefox",
                     firefoxFlatpak / "cache" / "mozilla" / "firefox", kFirefoxFlatpak});

    for (const ChromiumBrowser& browser : kChromiumFamily) {
        homes.push_back({browser.name, BrowserEngine::Chromium, BrowserPackage::Native, folders.config / browser.folder,
                         cache / browser.folder, ""});
        if (*browser.snap) {
            const fs::path snap = snaps / browser.snap / "common";
            homes.push_back({browser.name, BrowserEngine::Chromium, BrowserPackage::Snap, snap / browser.folder,
                             snap / ".cache" / browser.folder, ""});
        }
        if (*browser.flatpak) {
            const fs::path app = flatpaks / browser.flatpak;
            homes.push_back({browser.name, BrowserEngine::Chromium, BrowserPackage::Flatpak,
                             app / "config" / browser.folder, app / "cache" / browser.folder, browser.flatpak});
        }
    }
    return homes;
}

}  // namespace tessaro
