#include "platform/cachewalk/OldDiskCaches.h"

#include "platform/core/AsciiText.h"

#include <algorithm>

namespace tessaro {

namespace {

namespace fs = std::filesystem;

// Folders listed in a folder looked at for profiles, at most.
constexpr std::size_t kMaxListed = 4096;

std::vector<fs::path> Subfolders(const fs::path& folder)
{
    std::vector<fs::path> folders;
    std::error_code error;
    std::size_t listed = 0;
    for (auto it = fs::directory_iterator(folder, error);
         !error && it != fs::directory_iterator() && listed < kMaxListed; it.increment(error), ++listed) {
        std::error_code statusError;
        if (it->is_directory(statusError) && !it->is_symlink(statusError))
            folders.push_back(it->path());
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

// A relative path of folders, each name matched ignoring case.
fs::path Resolve(const fs::path& folder, std::initializer_list<std::string_view> names)
{
    fs::path path = folder;
    for (const std::string_view name : names) {
        path = ChildIgnoringCase(path, name);
        if (path.empty())
            return {};
    }
    return path;
}

void UserRoots(const fs::path& user, std::vector<fs::path>& roots)
{
    for (const fs::path& root : {Resolve(user, {"Local Settings"}), Resolve(user, {"AppData", "Local"})}) {
        if (!root.empty())
            roots.push_back(root);
    }
}

void DiskRoots(const fs::path& disk, std::vector<fs::path>& roots)
{
    for (const std::string_view profiles : {"Documents and Settings", "Users"}) {
        const fs::path folder = ChildIgnoringCase(disk, profiles);
        if (folder.empty())
            continue;
        for (const fs::path& user : Subfolders(folder))
            UserRoots(user, roots);
    }
}

}  // namespace

fs::path ChildIgnoringCase(const fs::path& folder, std::string_view name)
{
    for (const fs::path& child : Subfolders(folder)) {
        if (EqualsIgnoringAsciiCase(child.filename().string(), name))
            return child;
    }
    return {};
}

std::vector<fs::path> WindowsProfileCacheRoots(const fs::path& root)
{
    std::vector<fs::path> roots;
    UserRoots(root, roots);
    DiskRoots(root, roots);
    if (roots.empty()) {
        for (const fs::path& disk : Subfolders(root))
            DiskRoots(disk, roots);
    }
    return roots;
}

bool MayBeProjector(const fs::path& file)
{
    if (EndsWithIgnoringAsciiCase(file.filename().string(), ".exe"))
        return true;
    const fs::path folder = file.parent_path();
    return EqualsIgnoringAsciiCase(folder.filename().string(), "MacOS") &&
           EqualsIgnoringAsciiCase(folder.parent_path().filename().string(), "Contents") &&
           EndsWithIgnoringAsciiCase(folder.parent_path().parent_path().filename().string(), ".app");
}

}  // namespace tessaro
