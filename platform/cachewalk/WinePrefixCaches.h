#pragma once

#include <filesystem>
#include <vector>

namespace tessaro {

// The Internet Explorer cache folders (each holding an index.dat) of the Wine
// prefixes in a home folder, in the order they are read: ~/.wine, then
// ~/.local/share/wineprefixes/<name> by name; in a prefix, each
// drive_c/users/<user> by name, and for a user the cache folders of the
// Windows versions Wine has taken after, newest first.
std::vector<std::filesystem::path> WinePrefixIeCacheFolders(const std::filesystem::path& home);

}  // namespace tessaro
