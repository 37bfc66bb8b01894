#include "formats/coding/HttpHead.h"

#include "platform/core/AsciiText.h"

#include <array>

namespace tessaro {

namespace {

// Digits only, the whole text.
std::optional<std::uint64_t> Number(std::string_view digits)
{
    std::uint64_t value = 0;
    if (!ParseWholeNumber(digits, value))
        return std::nullopt;
    return value;
}

// "HTTP/1.1 200 OK"; HTTP/2 heads are stored in the same form.
int StatusOf(std::string_view line)
{
    if (line.substr(0, 5) != "HTTP/")
        return 0;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return 0;
    const std::optional<std::uint64_t> code = Number(line.substr(space + 1, 3));
    return code && *code < 1000 ? static_cast<int>(*code) : 0;
}

void ReadHeader(std::string_view name, std::string_view value, HttpHead& head)
{
    if (EqualsIgnoringAsciiCase(name, "Content-Type")) {
        head.contentType = value;
    } else if (EqualsIgnoringAsciiCase(name, "Content-Encoding")) {
        head.contentEncoding = value;
    } else if (EqualsIgnoringAsciiCase(name, "Transfer-Encoding")) {
        head.chunked = LowerAscii(value).find("chunked") != std::string::npos;
    } else if (EqualsIgnoringAsciiCase(name, "Content-Range")) {
        const std::size_t slash = value.rfind('/');
        if (slash != std::string_view::npos)
            if (const std::optional<std::uint64_t> total = Number(value.substr(slash + 1)))
                head.rangeTotal = total;
    } else if (EqualsIgnoringAsciiCase(name, "Content-Length")) {
        if (const std::optional<std::uint64_t> length = Number(value))
            head.contentLength = length;
    }
}

}  // namespace

HttpHead ParseHttpHead(std::string_view text, std::string_view separators)
{
    // find_first_of asks memchr for every byte of the head; a table asks
    // once. One separator (a cache's NUL) is memchr's own work.
    std::array<bool, 256> separator{};
    for (const char c : separators)
        separator[static_cast<unsigned char>(c)] = true;
    const auto lineEnd = [&separator, &separators](std::string_view rest) {
        if (separators.size() == 1)
            return rest.find(separators.front());
        for (std::size_t i = 0; i < rest.size(); ++i)
            if (separator[static_cast<unsigned char>(rest[i])])
                return i;
        return std::string_view::npos;
    };
    HttpHead head;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = lineEnd(text);
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty())
            continue;
        if (first) {
            first = false;
            head.status = StatusOf(line);
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos)
            ReadHeader(TrimAscii(line.substr(0, colon)), TrimAscii(line.substr(colon + 1)), head);
    }
    return head;
}

}  // namespace tessaro
