#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaro {

// What the program reads of a stored HTTP response head: the status line's
// code and the headers that say what the body is and how it was sent.
struct HttpHead {
    int status = 0;  // 0: no "HTTP/" status line
    std::string contentType;
    std::string contentEncoding;
    std::optional<std::uint64_t> contentLength;
    std::optional<std::uint64_t> rangeTotal;  // Content-Range's total
    bool chunked = false;                     // Transfer-Encoding names chunked
};

// The same read in place: the texts lie in the head given, which must
// outlive it. A walk over thousands of heads copies none.
struct HttpHeadView {
    int status = 0;
    std::string_view contentType;
    std::string_view contentEncoding;
    std::optional<std::uint64_t> contentLength;
    std::optional<std::uint64_t> rangeTotal;
    bool chunked = false;
};

HttpHeadView ParseHttpHeadInPlace(std::string_view head, std::string_view separators);

// Reads a head whose lines end in any of separators (a cache may keep them
// NUL-separated); blank lines are passed over, the first other is the status line.
HttpHead ParseHttpHead(std::string_view head, std::string_view separators);

}  // namespace tessaro
