#include "formats/urlcache/CacheFiles.h"

#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <utility>

namespace tessaro {
namespace {

// A cache folder's listing goes two folder levels down, where separate entry
// files lie, lists regular files only, follows no link out of the folder, and
// stops at its bound whatever the folder holds.
TEST(CacheFilesTest, ListsRegularFilesTwoLevelsDownUpToTheBound)
{
    struct Row {
        const char* name;
        std::vector<std::string> files;
        std::vector<std::pair<std::string, std::string>> links;  // name, target
        std::size_t limit;
        std::size_t listed;
        std::vector<std::string> among;  // every listed name is one of these
    };
    const Row rows[] = {
        {"two levels down, regular files only",
         {"_CACHE_MAP_", "3/x", "3/3D/ED165m01", "3/3D/4/ED165m01"},
         {{"link-to-file", "_CACHE_MAP_"}, {"link-to-folder", "3"}},
         100,
         3,
         {"3/3D/ED165m01", "3/x", "_CACHE_MAP_"}},
        {"as many files as the bound", {"a", "b", "c", "d"}, {}, 4, 4, {"a", "b", "c", "d"}},
        {"one past the bound", {"a", "b", "c", "d", "e"}, {}, 4, 4, {"a", "b", "c", "d", "e"}},
        {"folders count towards the bound", {"1/a", "2/b"}, {}, 2, 1, {"1/a", "2/b"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const test::TempDir dir;
        for (const std::string& file : row.files)
            dir.write(file, "bytes");
        for (const auto& [name, target] : row.links)
            std::filesystem::create_symlink(target, dir.path() / name);
        const std::vector<std::string> names = FolderCacheFiles(dir.path()).ListNames(row.limit);
        EXPECT_EQ(names.size(), row.listed);
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
        for (const std::string& name : names)
            EXPECT_NE(std::find(row.among.begin(), row.among.end(), name), row.among.end()) << name;
    }
}

}  // namespace
}  // namespace tessaro
