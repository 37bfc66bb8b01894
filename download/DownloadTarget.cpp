#include "download/DownloadTarget.h"

#include "platform/core/AsciiText.h"

#include <algorithm>
#include <string_view>

namespace tessaro {

namespace {

constexpr std::size_t kLongestName = 1024;

}  // namespace

std::string DownloadTargetName(const std::string& address, const std::string& saveFolder)
{
    // A NUL would cut the path the system sees ("/.bashrc\0.swf" is
    // "/.bashrc"); any control character makes a name that is not what the
    // row shows. The folder is the user's, but is checked all the same.
    if (HoldsControlCharacter(address) || saveFolder.find('\0') != std::string::npos)
        return {};
    const std::string lower = LowerAscii(address);
    if (lower.find("http://") == std::string::npos && lower.find("https://") == std::string::npos)
        return {};
    const auto dot = lower.find(".swf");
    if (dot == std::string::npos)
        return {};
    const std::size_t end = dot + 4;  // one past the "f"
    const std::size_t windowStart = end > kLongestName ? end - kLongestName : 0;
    std::size_t nameStart = windowStart;
    for (std::size_t i = end; i > windowStart; --i) {
        if (address[i - 1] == '/') {
            nameStart = i;
            break;
        }
    }
    return saveFolder + address.substr(nameStart, end - nameStart);
}

}  // namespace tessaro
