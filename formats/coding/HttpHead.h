#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tessaro {

// What the program reads of a stored HTTP response head: the status line's
// code and the headers that say what the body is and how it was sent. The
// texts lie in the head read, which must outlive them: a walk over
// thousands of heads copies none.
struct HttpHead {
    int status = 0;  // 0: no "HTTP/" status line
    std::string_view contentType;
    std::string_view contentEncoding;
    std::optional<std::uint64_t> contentLength;
    std::optional<std::uint64_t> rangeTotal;  // Content-Range's total
    bool chunked = false;                     // Transfer-Encoding names chunked
};

// Reads a head whose lines end in any of separators (a cache may keep them
// NUL-separated); blank lines are passed over, the first other is the status line.
HttpHead ParseHttpHead(std::string_view head, std::string_view separators);

}  // namespace tessaro
