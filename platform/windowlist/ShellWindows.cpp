#include "platform/windowlist/ShellWindows.h"

#include "formats/session/ChromiumLocalState.h"
#include "formats/session/ChromiumSession.h"
#include "formats/session/FirefoxProfiles.h"
#include "formats/session/FirefoxSession.h"
#include "platform/windowlist/BrowserLock.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace tessaro {

namespace {

// Chromium writes the clear-text and the encrypted copy of a session within
// microseconds; a clear-text copy this much older than the encrypted one is a
// leftover from before the browser stopped writing clear text.
constexpr std::uint64_t kSameSnapshotMicroseconds = 10'000'000;

struct SessionFile {
    std::filesystem::path path;
    std::uint64_t time = 0;  // microseconds since 1601, from the name
};

std::optional<SessionFile> NewestSessionFile(const std::filesystem::path& folder)
{
    std::optional<SessionFile> newest;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        constexpr std::string_view prefix = "Session_";
        if (!name.starts_with(prefix) || name.size() == prefix.size() || name.size() > prefix.size() + 19)
            continue;
        const std::string digits = name.substr(prefix.size());
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const std::uint64_t time = std::stoull(digits);
        if (!newest || time > newest->time)
            newest = SessionFile{it->path(), time};
    }
    return newest;
}

bool IsDirectory(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

void AppendTabs(const SessionReadResult& session, std::vector<std::string>& addresses)
{
    for (const SessionWindow& window : session.windows)
        for (const SessionTab& tab : window.tabs)
            addresses.push_back(tab.address);
}

}  // namespace

ShellWindows::ShellWindows() : ShellWindows(BrowserFolders::OfCurrentUser())
{
}

ShellWindows::ShellWindows(const BrowserFolders& folders, const std::atomic<bool>* cancelled) : cancelled_(cancelled)
{
    for (const BrowserHome& home : BrowserHomes(folders)) {
        if (Cancelled())
            return;
        if (home.engine == BrowserEngine::Firefox)
            AddFirefox(home, folders);
        else
            AddChromium(home, folders);
    }
}

QString ShellWindows::LocationURL(int index) const
{
    if (index < 0 || index >= Count())
        return {};
    return QString::fromStdString(addresses_[static_cast<std::size_t>(index)]);
}

void ShellWindows::AddFirefox(const BrowserHome& home, const BrowserFolders& folders)
{
    for (const std::filesystem::path& profile : FirefoxProfiles(home.profiles)) {
        if (Cancelled())
            return;
        if (!BrowserHomeLocked(profile / "lock", home.package == BrowserPackage::Flatpak, folders.runtime,
                               home.flatpakApp))
            continue;
        const std::filesystem::path backups = profile / "sessionstore-backups";
        SessionReadResult session = ReadFirefoxSession(backups / "recovery.jsonlz4");
        if (session.status == SessionReadStatus::Missing)
            session = ReadFirefoxSession(backups / "recovery.baklz4");
        if (session.status != SessionReadStatus::Ok)
            addresses_.emplace_back();
        else
            AppendTabs(session, addresses_);
    }
}

void ShellWindows::AddChromium(const BrowserHome& home, const BrowserFolders& folders)
{
    const std::filesystem::path& userDataFolder = home.profiles;
    if (!BrowserHomeLocked(userDataFolder / "SingletonLock", home.package == BrowserPackage::Flatpak, folders.runtime,
                           home.flatpakApp))
        return;
    // Profiles are sub-folders ("Default", "Profile 1", ...), only those Local
    // State names as active when it does; some browsers keep the profile in
    // the user data folder itself.
    std::vector<std::filesystem::path> profiles{userDataFolder};
    const std::optional<std::vector<std::string>> active = LastActiveProfiles(userDataFolder);
    std::error_code error;
    for (std::filesystem::directory_iterator it(userDataFolder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (IsDirectory(it->path()) && (!active || std::find(active->begin(), active->end(), name) != active->end()))
            profiles.push_back(it->path());
    }
    std::sort(profiles.begin() + 1, profiles.end());
    for (const std::filesystem::path& profile : profiles) {
        if (Cancelled())
            return;
        AddProfileSession(profile);
    }
}

void ShellWindows::AddProfileSession(const std::filesystem::path& profile)
{
    const std::optional<SessionFile> clear = NewestSessionFile(profile / "Sessions");
    const std::optional<SessionFile> encrypted = NewestSessionFile(profile / "Sessions_Encrypted");
    if (!clear && !encrypted)
        return;
    const bool useClear = clear && (!encrypted || clear->time + kSameSnapshotMicroseconds >= encrypted->time);
    const SessionReadResult session = ReadChromiumSession(useClear ? clear->path : encrypted->path);
    if (session.status == SessionReadStatus::UnknownKey)
        return;  // under a keyring's key: this browser is passed over
    if (session.windows.empty() && session.status != SessionReadStatus::Ok)
        addresses_.emplace_back();
    else
        AppendTabs(session, addresses_);
}

}  // namespace tessaro
