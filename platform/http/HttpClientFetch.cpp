#include "platform/http/HttpClient.h"

#include "platform/core/AsciiText.h"

namespace tessaro {

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
