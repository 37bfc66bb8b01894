#include "formats/session/FirefoxProfiles.h"

#include "formats/session/BrowserSession.h"
#include "platform/core/AsciiText.h"

#include <algorithm>
#include <string>

namespace tessaro {

namespace {

struct Section {
    bool isProfile = false;
    bool isRelative = true;
    std::string path;
};

void AddProfile(const Section& section, const std::filesystem::path& folder, std::vector<std::filesystem::path>& out)
{
    if (!section.isProfile || section.path.empty())
        return;
    std::filesystem::path profile = section.isRelative ? folder / section.path : std::filesystem::path(section.path);
    if (std::find(out.begin(), out.end(), profile) == out.end())
        out.push_back(std::move(profile));
}

}  // namespace

std::vector<std::filesystem::path> ParseFirefoxProfilesIni(std::string_view text,
                                                           const std::filesystem::path& firefoxFolder)
{
    std::vector<std::filesystem::path> profiles;
    Section section;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = TrimAscii(text.substr(0, end), " \t\r");
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.starts_with('[') && line.ends_with(']')) {
            AddProfile(section, firefoxFolder, profiles);
            section = Section{};
            section.isProfile = line.starts_with("[Profile");
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = TrimAscii(line.substr(0, equals), " \t\r");
        const std::string_view value = TrimAscii(line.substr(equals + 1), " \t\r");
        if (key == "Path")
            section.path = std::string(value);
        else if (key == "IsRelative")
            section.isRelative = value != "0";
    }
    AddProfile(section, firefoxFolder, profiles);
    return profiles;
}

std::vector<std::filesystem::path> FirefoxProfiles(const std::filesystem::path& firefoxFolder)
{
    std::string text;
    if (ReadSessionFile(firefoxFolder / "profiles.ini", text) != SessionReadStatus::Ok)
        return {};
    return ParseFirefoxProfilesIni(text, firefoxFolder);
}

}  // namespace tessaro
