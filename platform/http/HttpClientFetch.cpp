#include "platform/http/HttpClient.h"

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

HttpFetchResult FetchUrl(const std::string& url, std::size_t maxBytes, const std::string& userAgent, HttpLimits limits)
{
    HttpFetchResult result;
    const HttpUrlParts parts = SplitHttpUrl(url);
    if (!parts.ok) {
        result.error = "not an http or https address";
        return result;
    }
    const bool secure = parts.secure;
    const std::string& host = parts.host;
    const std::string& path = parts.path;

    HttpSession session(userAgent, limits);
    HttpConnection connection(session, host, secure ? 443 : 80, secure);
    HttpGetRequest request(connection, path);
    if (!request.Send()) {
        result.error = request.ErrorText();
        return result;
    }
    result.status = request.StatusCode();
    result.stayedOnOrigin = request.StayedOnOrigin();
    request.QueryHeader("Content-Type", result.contentType);

    std::string body;
    char block[16384];
    for (;;) {
        std::size_t count = 0;
        if (!request.Read(block, sizeof block, count)) {
            result.error = request.ErrorText();
            return result;
        }
        if (count == 0)
            break;
        if (body.size() + count > maxBytes) {
            result.error = "the answer is larger than " + std::to_string(maxBytes) + " bytes";
            return result;
        }
        body.append(block, count);
    }
    if (result.status < 200 || result.status > 299) {
        result.error = "the server answered " + std::to_string(result.status);
        return result;
    }
    result.ok = true;
    result.body = std::move(body);
    return result;
}

}  // namespace tessaro
