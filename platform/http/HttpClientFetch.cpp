#include "platform/http/HttpClient.h"

#include <string>
#include <utility>

namespace tessaro {

namespace {

// How much the body grows by per read.
constexpr std::size_t kFetchBlockBytes = 64 * 1024;

bool IsRedirect(long status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

HttpFetchResult FetchWholeBody(HttpRequest request, std::size_t maxBytes)
{
    HttpFetchResult result;
    // libcurl refuses a body whose Content-Length is past the cap before any
    // of it comes; the loop below holds one that does not say.
    if (request.limits.maxBodyBytes == 0 || request.limits.maxBodyBytes > maxBytes)
        request.limits.maxBodyBytes = maxBytes;
    HttpExchange exchange(request);
    const auto fail = [&result, &exchange, maxBytes](std::string why) {
        result.tooLarge = result.tooLarge || exchange.BodyTooLarge();
        result.error =
            result.tooLarge ? "the answer is larger than " + std::to_string(maxBytes) + " bytes" : std::move(why);
        return result;
    };
    if (!exchange.Send())
        return fail(exchange.ErrorText());
    result.status = exchange.StatusCode();
    result.stayedOnOrigin = exchange.StayedOnOrigin();
    exchange.QueryHeader("Content-Type", result.contentType);
    if (!request.limits.followRedirects && IsRedirect(result.status) &&
        exchange.QueryHeader("Location", result.location) && !result.location.empty())
        return fail("a redirect to " + result.location);

    std::string body;
    for (;;) {
        const std::size_t had = body.size();
        // One byte past the cap is enough to tell a body that is too long.
        const std::size_t left = maxBytes - had;
        const std::size_t room = left < kFetchBlockBytes ? left + 1 : kFetchBlockBytes;
        body.resize(had + room);
        std::size_t count = 0;
        const bool read = exchange.Read(body.data() + had, room, count);
        body.resize(had + count);
        if (!read)
            return fail(exchange.ErrorText());
        if (count == 0)
            break;
        if (body.size() > maxBytes) {
            result.tooLarge = true;
            return fail({});
        }
    }
    if (result.status < 200 || result.status > 299)
        return fail("the server answered " + std::to_string(result.status));
    result.ok = true;
    result.body = std::move(body);
    return result;
}

}  // namespace tessaro
