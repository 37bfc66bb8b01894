#pragma once

#include <filesystem>

namespace tessaro {

// The user's home folder: $HOME when it is absolute, else the account's.
std::filesystem::path HomeFolder();

// $XDG_CONFIG_HOME/tessaro/tessaro.conf (or ~/.config/...): the settings kept
// between runs.
std::filesystem::path SettingsFile();

// $XDG_CACHE_HOME/tessaro (or ~/.cache/tessaro): everything the program keeps
// for itself lives under here.
std::filesystem::path ProgramCacheFolder();

// The embedded browser's profile keeps its disk cache here; Chromium's simple
// cache then lives in <this>/Cache/Cache_Data.
std::filesystem::path EmbeddedBrowserCacheFolder();

// Plain-file copies of cached movies checked out of the browsers' caches.
std::filesystem::path CacheContentFolder();

// The folder of the running program, where its run-time files lie.
std::filesystem::path ProgramFolder();

}  // namespace tessaro
