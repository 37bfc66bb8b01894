#include "platform/http/HttpUrl.h"

#include "platform/core/AsciiText.h"

namespace tessaro {

HttpUrlParts SplitHttpUrl(std::string_view url)
{
    HttpUrlParts parts;
    std::string_view rest;
    if (StartsWithIgnoringAsciiCase(url, "http://")) {
        rest = url.substr(7);
    } else if (StartsWithIgnoringAsciiCase(url, "https://")) {
        parts.secure = true;
        rest = url.substr(8);
    } else {
        return parts;
    }
    parts.ok = true;
    rest = rest.substr(0, rest.find('#'));
    const auto pathStart = rest.find_first_of("/?");
    parts.host = std::string(rest.substr(0, pathStart));
    parts.path = pathStart == std::string_view::npos ? "/" : std::string(rest.substr(pathStart));
    if (parts.path.front() == '?')
        parts.path.insert(parts.path.begin(), '/');
    return parts;
}

}  // namespace tessaro
