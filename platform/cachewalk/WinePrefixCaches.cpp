#include "platform/cachewalk/WinePrefixCaches.h"

#include "formats/urlcache/IeUrlCache.h"

#include <algorithm>

namespace tessaro {

namespace {

namespace fs = std::filesystem;

// Where a Windows user's Internet Explorer cache lies, from the user's folder.
constexpr const char* kUserCacheFolders[] = {
    "AppData/Local/Microsoft/Windows/INetCache/Content.IE5",
    "AppData/Local/Microsoft/Windows/INetCache/IE",
    "AppData/Local/Microsoft/Windows/Temporary Internet Files/Content.IE5",
    "Local Settings/Temporary Internet Files/Content.IE5",
};

std::vector<fs::path> SortedSubfolders(const fs::path& folder)
{
    std::vector<fs::path> folders;
    std::error_code error;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        std::error_code statusError;
        if (it->is_directory(statusError))
            folders.push_back(it->path());
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

}  // namespace

std::vector<fs::path> WinePrefixIeCacheFolders(const fs::path& home)
{
    std::vector<fs::path> prefixes = {home / ".wine"};
    for (const fs::path& prefix : SortedSubfolders(home / ".local/share/wineprefixes"))
        prefixes.push_back(prefix);
    std::vector<fs::path> caches;
    for (const fs::path& prefix : prefixes) {
        for (const fs::path& user : SortedSubfolders(prefix / "drive_c/users")) {
            for (const char* relative : kUserCacheFolders) {
                if (IsIeCacheFolder(user / relative))
                    caches.push_back(user / relative);
            }
        }
    }
    return caches;
}

}  // namespace tessaro
