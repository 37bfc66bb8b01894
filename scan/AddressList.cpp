#include "scan/AddressList.h"

#include "platform/core/AsciiText.h"
#include "platform/core/LocalAddressText.h"

namespace tessaro {

namespace {

constexpr std::string_view kLocalFileScheme = "file://";
constexpr std::string_view kWebScheme = "http://";
// The texts are the program's own, spelling and blanks included.
constexpr std::string_view kOpening = "Openning Page ";
constexpr std::string_view kOpeningWithScheme = "Openning Page http:// ";

}  // namespace

bool IsListedWindowAddress(std::string_view address)
{
    return !address.empty() && LowerAscii(address).find(kLocalFileScheme) == std::string::npos;
}

std::optional<std::string> OpeningStatusText(std::string_view address)
{
    if (address.empty())
        return std::nullopt;
    const std::string lower = LowerAscii(address);
    if (lower.find(kLocalFileScheme) != std::string::npos || NamesLocalFile(address))
        return std::nullopt;
    const std::string_view prefix = lower.find(kWebScheme) != std::string::npos ? kOpening : kOpeningWithScheme;
    return std::string(prefix) + lower;
}

}  // namespace tessaro
