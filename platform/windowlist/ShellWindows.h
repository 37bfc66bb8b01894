#pragma once

#include "platform/core/BrowserHomes.h"

#include <QString>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

namespace tessaro {

// The open browser windows of the desktop: one entry per open tab of this
// user's running browsers, browser by browser in the order of BrowserHomes
// (Firefox, then the Chromium family; native, XDG, snap and Flatpak
// installs), window order then tab order. A browser that is not running adds nothing; a running one whose
// session cannot be read adds one entry without an address.
class ShellWindows {
public:
    // Reads the session files of the current user's browsers; throws
    // std::runtime_error when the list as a whole cannot be read. Once
    // cancelled is set, no further session file is read.
    ShellWindows();
    explicit ShellWindows(const BrowserFolders& folders, const std::atomic<bool>* cancelled = nullptr);

    int Count() const { return static_cast<int>(addresses_.size()); }
    // The address tab `index` shows; empty when it could not be read or the
    // index is out of range.
    QString LocationURL(int index) const;

private:
    void AddFirefox(const BrowserHome& home, const BrowserFolders& folders);
    void AddChromium(const BrowserHome& home, const BrowserFolders& folders);
    void AddProfileSession(const std::filesystem::path& profile);

    bool Cancelled() const { return cancelled_ != nullptr && cancelled_->load(); }

    std::vector<std::string> addresses_;
    const std::atomic<bool>* cancelled_ = nullptr;
};

}  // namespace tessaro
