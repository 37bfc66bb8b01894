#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessaro {

enum class DecodeResult {
    Ok,
    UnknownEncoding,  // a coding this program cannot undo (zstd, compress, ...)
    Corrupt,          // the coded bytes are damaged
    Truncated,        // the coded bytes end before the coded stream does
    TooLarge,         // the decoded body would pass the limit
};

const char* ToString(DecodeResult result);

// Undoes a Content-Encoding value ("gzip", "x-gzip", "deflate", "br",
// "identity", or a comma-separated list, applied in order). Bytes after the
// end of a coded stream are ignored, as browsers do.
DecodeResult DecodeBody(std::string_view contentEncoding, std::string_view coded, std::string& decoded,
                        std::size_t limit = std::size_t(1) << 30);

// Decodes only as far as the first prefixLength bytes of the body (fewer when
// the body is shorter): enough to look at a file signature without paying
// for the whole body.
DecodeResult DecodeBodyPrefix(std::string_view contentEncoding, std::string_view coded, std::size_t prefixLength,
                              std::string& prefix);

}  // namespace tessaro
