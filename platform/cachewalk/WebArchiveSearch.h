#pragma once

#include "formats/archive/ArchiveSniff.h"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <vector>

namespace tessaro {

struct FoundWebArchive {
    std::filesystem::path file;
    WebArchiveKind kind;
};

struct WebArchiveSearchBounds {
    int maxDepth = 12;
    std::size_t folders = 200000;
    // Files whose first bytes are looked at below one root.
    std::size_t files = 100000;
};

// The web archive files below root, by what they hold whatever their names,
// in path order. Folders skip() holds for (caches, the program's own) are not
// entered.
std::vector<FoundWebArchive> FindWebArchives(const std::filesystem::path& root, WebArchiveSearchBounds bounds,
                                             const std::function<bool(const std::filesystem::path&)>& skip,
                                             const std::atomic<bool>* cancelled);

}  // namespace tessaro
