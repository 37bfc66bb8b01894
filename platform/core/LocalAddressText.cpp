#include "platform/core/LocalAddressText.h"

#include "platform/core/AsciiText.h"

namespace tessaro {

bool NamesLocalFile(std::string_view text)
{
    const auto start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos)
        return false;
    const std::string_view rest = text.substr(start);
    return rest.front() == '/' || rest.front() == '~' || StartsWithIgnoringAsciiCase(rest, "file:");
}

}  // namespace tessaro
