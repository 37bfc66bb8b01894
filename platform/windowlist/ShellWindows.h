#pragma once

#include <QString>

#include <filesystem>
#include <string>
#include <vector>

namespace tessaro {

// Where the browsers of one user keep their profiles.
struct BrowserFolders {
    std::filesystem::path home;    // Firefox: <home>/.mozilla/firefox
    std::filesystem::path config;  // Chromium family: <config>/chromium, <config>/google-chrome, ...

    // $HOME and $XDG_CONFIG_HOME (else <home>/.config). Throws std::runtime_error
    // when there is no usable home folder.
    static BrowserFolders OfCurrentUser();
};

// The open browser windows of the desktop: one entry per open tab of this
// user's running browsers, browser by browser (Firefox, then Chromium,
// Google Chrome, Brave, Vivaldi, Microsoft Edge, Opera), window order then
// tab order. A browser that is not running adds nothing; a running one whose
// session cannot be read adds one entry without an address.
class ShellWindows {
public:
    // Reads the session files of the current user's browsers; throws
    // std::runtime_error when the list as a whole cannot be read.
    ShellWindows();
    explicit ShellWindows(const BrowserFolders& folders);

    int Count() const { return static_cast<int>(addresses_.size()); }
    // The address tab `index` shows; empty when it could not be read or the
    // index is out of range.
    QString LocationURL(int index) const;

private:
    void AddFirefox(const std::filesystem::path& firefoxFolder);
    void AddChromium(const std::filesystem::path& userDataFolder);
    void AddProfileSession(const std::filesystem::path& profile);

    std::vector<std::string> addresses_;
};

}  // namespace tessaro
