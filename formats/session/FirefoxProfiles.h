#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace tessaro {

// The profiles listed in Firefox's profiles.ini (~/.mozilla/firefox), in the
// order of the file. Only [Profile<n>] sections count:
//   [Profile0]
//   Name=default
//   IsRelative=1          Path is relative to the folder of profiles.ini (default 1)
//   Path=abcd1234.default
std::vector<std::filesystem::path> ParseFirefoxProfilesIni(std::string_view text,
                                                           const std::filesystem::path& firefoxFolder);
std::vector<std::filesystem::path> FirefoxProfiles(const std::filesystem::path& firefoxFolder);

}  // namespace tessaro
