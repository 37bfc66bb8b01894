#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

class ByteSource;

// Where a piece of a stored body lies: a byte range of one file, with the
// CRC-32 the browser recorded for it when it recorded one.
struct BodySegment {
    std::filesystem::path file;  // empty: the entry's own container file
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::optional<std::uint32_t> crc32;
};

// One cached response as a browser stored it, whatever the browser.
struct CachedResponse {
    std::string url;
    int status = 0;  // 0: no HTTP head stored (not an HTTP entry)
    std::string contentType;
    std::string contentEncoding;
    std::optional<std::uint64_t> contentLength;
    // The complete length a Content-Range header names ("bytes 0-99/300").
    std::optional<std::uint64_t> rangeTotal;
    // The browser marked the body incomplete (a cancelled load).
    bool truncated = false;
    // The body as stored (still content-encoded), in order.
    std::vector<BodySegment> body;

    std::uint64_t StoredSize() const;
};

enum class BodyReadResult {
    Ok,
    Missing,   // a file of the body went away or was cut
    BadCrc,    // a segment does not match its recorded CRC-32
    TooLarge,  // more than the limit
    Stopped,   // the receiver wanted no more
};

// Hands the stored body on in pieces of at most kStoredPieceLength, checking
// each segment's CRC at the segment's end when one was recorded (the pieces
// before a bad CRC have been handed on: the receiver drops them). Segments in
// openedPath are read through opened, which the caller holds, so a file
// replaced meanwhile is not mixed in. The sink returns false to stop.
constexpr std::size_t kStoredPieceLength = 64 * 1024;
BodyReadResult StreamStoredBody(const CachedResponse& response, const std::function<bool(std::string_view)>& sink,
                                const ByteSource* opened = nullptr, const std::filesystem::path& openedPath = {});

// Reads the whole stored body into memory, checking CRCs as above.
BodyReadResult ReadStoredBody(const CachedResponse& response, std::string& body, std::uint64_t limit);

// Reads at most length bytes from the start of the stored body, unchecked.
// Segments in openedPath are read through opened, which the caller holds.
BodyReadResult ReadStoredPrefix(const CachedResponse& response, std::size_t length, std::string& prefix,
                                const ByteSource* opened = nullptr, const std::filesystem::path& openedPath = {});

// Fills status and the three headers the reader needs from an HTTP head:
// the status line first, then "Name: value" lines. Lines end at any of the
// separator bytes given (NUL for Chromium, CR/LF for Firefox).
void ParseResponseHead(std::string_view head, std::string_view separators, CachedResponse& response);

// The path part of a URL without query and fragment, then its last segment.
std::string_view UrlFileName(std::string_view url);

}  // namespace tessaro
