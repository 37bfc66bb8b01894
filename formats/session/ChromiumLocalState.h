#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

// Chromium's "Local State" (<user data folder>/Local State), JSON. The part read:
//   { "profile": { "last_active_profiles": ["Default", "Profile 1", ...] } }
// While the browser runs, this lists the profile folders that have windows
// open; the session files of other profiles are left from earlier runs.

// The listed folder names; nothing when the file or the list is missing or
// not of that shape.
std::optional<std::vector<std::string>> ParseLastActiveProfiles(std::string_view json);
std::optional<std::vector<std::string>> LastActiveProfiles(const std::filesystem::path& userDataFolder);

}  // namespace tessaro
