#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace tessaro {

// Where an old Windows disk, mounted or copied, keeps its browsers' caches.

// The folders of the Windows profiles below root that hold the browsers'
// caches, searched as a Linux home's cache folder is: for each user of
// "Documents and Settings" (XP) and of "Users" (Vista and later), by name,
// the user's "Local Settings" and "AppData/Local", whatever the letter case
// of the names. root may be a disk, a folder of copied disks (one level
// down), or one user's folder.
std::vector<std::filesystem::path> WindowsProfileCacheRoots(const std::filesystem::path& root);

// The child of folder named name, ignoring ASCII case (the first by name when
// several match); empty when there is none.
std::filesystem::path ChildIgnoringCase(const std::filesystem::path& folder, std::string_view name);

// Whether the file may be a Flash projector by its name: a Windows program
// (".exe") or a program inside a Mac application bundle ("Contents/MacOS").
bool MayBeProjector(const std::filesystem::path& file);

}  // namespace tessaro
