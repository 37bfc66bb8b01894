#include "platform/cachewalk/WebArchiveSearch.h"

#include <algorithm>

namespace tessaro {

namespace {

namespace fs = std::filesystem;

// The smallest file that can hold one record with a movie's header.
constexpr std::uintmax_t kMinArchiveBytes = 32;

void SearchFolder(const fs::path& folder, int depth, WebArchiveSearchBounds& bounds,
                  const std::function<bool(const fs::path&)>& skip, const std::atomic<bool>* cancelled,
                  std::vector<FoundWebArchive>& found)
{
    std::vector<fs::path> files, folders;
    std::error_code error;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        std::error_code ignored;
        const fs::file_status status = it->symlink_status(ignored);
        if (fs::is_directory(status))
            folders.push_back(it->path());
        else if (fs::is_regular_file(status) && it->file_size(ignored) >= kMinArchiveBytes)
            files.push_back(it->path());
        if (cancelled != nullptr && cancelled->load())
            return;
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    for (const fs::path& file : files) {
        if (bounds.files == 0)
            break;
        --bounds.files;
        if (const WebArchiveKind kind = WebArchiveKindOf(file); kind != WebArchiveKind::None)
            found.push_back({file, kind});
    }
    for (const fs::path& child : folders) {
        if (bounds.folders == 0 || (cancelled != nullptr && cancelled->load()))
            return;
        --bounds.folders;
        if (depth < bounds.maxDepth && !skip(child))
            SearchFolder(child, depth + 1, bounds, skip, cancelled, found);
    }
}

}  // namespace

std::vector<FoundWebArchive> FindWebArchives(const fs::path& root, WebArchiveSearchBounds bounds,
                                             const std::function<bool(const fs::path&)>& skip,
                                             const std::atomic<bool>* cancelled)
{
    std::vector<FoundWebArchive> found;
    SearchFolder(root, 1, bounds, skip, cancelled, found);
    return found;
}

}  // namespace tessaro
