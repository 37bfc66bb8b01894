// Feeds arbitrary bytes to the HTTP head parser, line by line as libcurl hands
// them over, and checks the bounds of the exchange and the parsed fields.

#include "platform/http/HttpHeaders.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool follow = (data[0] & 1) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    tessaro::HttpHeaderBlock block(follow);
    std::size_t lines = 0;
    std::size_t bytes = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::string_view line = text.substr(at, end == std::string_view::npos ? end : end + 1 - at);
        at += line.size();
        const tessaro::HttpHeaderLine parsed = tessaro::ParseHttpHeaderLine(line);
        if (parsed.status < 0 || parsed.status > 999)
            __builtin_trap();
        if (parsed.kind == tessaro::HttpHeaderLine::Kind::Field) {
            for (const char c : parsed.name)
                if (c >= 'A' && c <= 'Z')
                    __builtin_trap();
            if (!parsed.value.empty() && (parsed.value.front() == ' ' || parsed.value.back() == ' '))
                __builtin_trap();
        }
        ++lines;
        bytes += line.size();
        const bool within =
            lines <= tessaro::HttpHeaderBlock::kMaxLines && bytes <= tessaro::HttpHeaderBlock::kMaxBytes;
        if (block.Add(line) != within)
            __builtin_trap();
        if (!within)
            break;
        if (block.Fields().size() > lines)
            __builtin_trap();
    }
    return 0;
}
