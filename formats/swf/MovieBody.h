#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace tessaro::swf {

enum class BodyResult {
    Ok,         // length bytes decoded
    CutShort,   // the stream ended, or the bytes did, before length bytes came out
    Corrupt,    // the stream is damaged or asks for more memory than allowed
    Cancelled,  // the caller's flag was set
};

// The largest LZMA dictionary the decoder sets up, whatever the movie's
// properties ask: no movie the reader accepts needs more (its body is capped
// below this), so a hostile dictionary size costs nothing.
inline constexpr std::size_t kMaxLzmaDictionary = std::size_t(128) << 20;

// Inflates a "CWS" body (the zlib stream after the 8-byte header) into out,
// stopping after length bytes. out grows as bytes come, never ahead of them
// by more than it already holds, so a false length costs no memory.
// cancelled, when given, is looked at between steps of a mebibyte out.
BodyResult InflateMovieBody(std::string_view stream, std::size_t length, std::string& out,
                            const std::atomic<bool>* cancelled = nullptr);

// Decodes a "ZWS" body: stream starts at the compressedLength field after the
// header (compressedLength, 5 properties bytes, LZMA data).
BodyResult DecodeLzmaMovieBody(std::string_view stream, std::size_t length, std::string& out,
                               const std::atomic<bool>* cancelled = nullptr);

}  // namespace tessaro::swf
