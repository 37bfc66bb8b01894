#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tessaro {

// The folders of one user under which browsers keep their profiles and caches.
struct BrowserFolders {
    std::filesystem::path home;
    std::filesystem::path config;   // $XDG_CONFIG_HOME, else <home>/.config
    std::filesystem::path cache;    // $XDG_CACHE_HOME, else <home>/.cache (empty: the latter)
    std::filesystem::path runtime;  // $XDG_RUNTIME_DIR, where Flatpak lists its running apps

    // From the environment. Throws std::runtime_error when there is no usable
    // home folder.
    static BrowserFolders OfCurrentUser();

    std::filesystem::path CacheFolder() const { return cache.empty() ? home / ".cache" : cache; }
};

enum class BrowserEngine { Firefox, Chromium };

// How the browser was installed, which decides where it keeps its files and
// in which process namespace the pid of its lock lives.
enum class BrowserPackage { Native, Xdg, Snap, Flatpak };

// One place where one browser keeps its profiles.
struct BrowserHome {
    std::string browser;  // "Firefox", "Chromium", "Google Chrome", ...
    BrowserEngine engine;
    BrowserPackage package;
    // Firefox: the folder holding profiles.ini; Chromium family: the user data
    // folder (profiles, Local State and SingletonLock inside).
    std::filesystem::path profiles;
    // Where its disk caches are: <cache>/<profile>/cache2 or <cache>/<profile>/Cache/Cache_Data.
    std::filesystem::path cache;
    // The Flatpak application id, for a Flatpak home.
    std::string flatpakApp;
};

// Every browser home the program knows, browser by browser in a fixed order
// (Firefox first, then the Chromium family), and for each browser native, XDG,
// snap and Flatpak places in that order. Nothing is checked on disk.
std::vector<BrowserHome> BrowserHomes(const BrowserFolders& folders);

}  // namespace tessaro
