#pragma once

#include <filesystem>
#include <vector>

namespace tessaro {

// The folders from elsewhere that the user added to the cache scan ("Add
// Cache Folder..."), kept in the settings file between runs, in the order
// they were added.

// At most this many are kept; more are refused (and never read from a
// settings file edited by hand).
constexpr std::size_t kMaxAddedCacheFolders = 64;

std::vector<std::filesystem::path> AddedCacheFolders();

// Adds an absolute folder once; false when it was there already, is not
// absolute, or the list is full.
bool AddCacheFolder(const std::filesystem::path& folder);

// Forgets every added folder.
void RemoveCacheFolders();

}  // namespace tessaro
