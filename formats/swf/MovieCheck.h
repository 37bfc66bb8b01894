#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tessaro {

// Whether a stream of bytes is one whole Flash movie, judged by the movie's
// own header. The three layouts (numbers little-endian):
//   "FWS" version(u8) fileLength(u32)  body                       stored as is
//   "CWS" version(u8) fileLength(u32)  zlib stream               inflates to the body
//   "ZWS" version(u8) fileLength(u32)  lzmaLength(u32) properties(5 bytes) LZMA data
// fileLength counts the 8 header bytes plus the body as decoded. A movie is
// complete once it has given that many bytes: players make a buffer of
// fileLength and never read past it, so whatever follows (padding after an
// FWS body, more of a compressed stream, bytes after its end) is not looked
// at, only counted against the limit. A movie that gives fewer is not whole.
enum class MovieCheckResult {
    Incomplete,  // a movie so far; more bytes are needed
    Complete,
    NotAMovie,  // no movie signature, a damaged stream, or a stream that ends short of the header
    TooLarge,   // declares, or has been sent, more than the limit
};

// Fed the bytes as they arrive (a download, a decoded cache body), it holds
// only the decompressors' state, never the movie.
class MovieCheck {
public:
    explicit MovieCheck(std::uint64_t maxLength);
    ~MovieCheck();
    MovieCheck(const MovieCheck&) = delete;
    MovieCheck& operator=(const MovieCheck&) = delete;

    // Takes the next bytes. Once the result is NotAMovie or TooLarge it stays
    // so; a complete movie stays complete unless the bytes pass the limit.
    MovieCheckResult Feed(std::string_view bytes);
    // No more bytes will come: a movie still short of its header becomes
    // NotAMovie, one short of its length stays Incomplete (cut short).
    MovieCheckResult End();

    MovieCheckResult Result() const { return result_; }
    // The header's file length; 0 until the header is in.
    std::uint64_t DeclaredLength() const { return declared_; }
    // The movie's bytes so far: the header plus the body decoded so far.
    std::uint64_t DecodedLength() const { return decoded_; }
    // Why the bytes are not a complete movie, as a user reads it: "not a
    // Flash movie", "cut short: 5,000 of 100,087 bytes", "too large: ...".
    // Empty when complete.
    std::string Reason() const;

private:
    struct Inflater;
    struct LzmaDecoder;

    MovieCheckResult ReadHeader(std::string_view& bytes);
    MovieCheckResult FeedBody(std::string_view bytes);
    // What the decoders may give next: no more than the header still wants.
    std::size_t Wanted() const;
    MovieCheckResult Decoded(std::uint64_t produced);
    MovieCheckResult Set(MovieCheckResult result) { return result_ = result; }

    const std::uint64_t maxLength_;
    MovieCheckResult result_ = MovieCheckResult::Incomplete;
    std::string header_;  // the first bytes until the header is whole
    char signature_ = 0;  // 'F', 'C' or 'Z' once known
    std::uint64_t declared_ = 0;
    std::uint64_t decoded_ = 0;
    std::uint64_t fed_ = 0;
    bool streamEnded_ = false;
    std::unique_ptr<Inflater> inflater_;
    std::unique_ptr<LzmaDecoder> lzma_;
};

// "5,000": a count with its thousands grouped, as the program shows sizes.
std::string GroupedCount(std::uint64_t value);

}  // namespace tessaro
