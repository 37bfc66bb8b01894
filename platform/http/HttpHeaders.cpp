#include "platform/http/HttpHeaders.h"

#include "platform/core/AsciiText.h"

namespace tessaro {

namespace {

// What surrounds a header line and its name and value.
constexpr std::string_view kHeaderBlanks = " \t\r\n";

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

HttpHeaderLine ParseHttpHeaderLine(std::string_view line)
{
    HttpHeaderLine parsed;
    if (line.substr(0, 5) == "HTTP/") {
        parsed.kind = HttpHeaderLine::Kind::Status;
        const auto blank = line.find(' ');
        if (blank != std::string_view::npos && line.size() >= blank + 4 && IsDigit(line[blank + 1]) &&
            IsDigit(line[blank + 2]) && IsDigit(line[blank + 3]))
            parsed.status = (line[blank + 1] - '0') * 100 + (line[blank + 2] - '0') * 10 + (line[blank + 3] - '0');
        return parsed;
    }
    if (TrimAscii(line, kHeaderBlanks).empty()) {
        parsed.kind = HttpHeaderLine::Kind::End;
        return parsed;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos)
        return parsed;
    parsed.kind = HttpHeaderLine::Kind::Field;
    parsed.name = LowerAscii(TrimAscii(line.substr(0, colon), kHeaderBlanks));
    parsed.value = std::string(TrimAscii(line.substr(colon + 1), kHeaderBlanks));
    return parsed;
}

bool HttpHeaderBlock::Add(std::string_view line)
{
    ++lines_;
    bytes_ += line.size();
    if (lines_ > kMaxLines || bytes_ > kMaxBytes)
        return false;
    HttpHeaderLine parsed = ParseHttpHeaderLine(line);
    switch (parsed.kind) {
        case HttpHeaderLine::Kind::Status:
            fields_.clear();
            hasLocation_ = false;
            newAnswer_ = true;
            status_ = parsed.status;
            break;
        case HttpHeaderLine::Kind::End: {
            const bool interim = status_ >= 100 && status_ < 200;
            const bool redirect = followRedirects_ && status_ >= 300 && status_ < 400 && hasLocation_;
            if (!interim && !redirect)
                done_ = true;
            break;
        }
        case HttpHeaderLine::Kind::Field:
            if (parsed.name == "location")
                hasLocation_ = true;
            fields_.emplace_back(std::move(parsed.name), std::move(parsed.value));
            break;
        case HttpHeaderLine::Kind::Other:
            break;
    }
    return true;
}

}  // namespace tessaro
