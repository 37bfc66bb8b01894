#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

enum class DecodeResult {
    Ok,
    UnknownEncoding,  // a coding this program cannot undo (zstd, compress, ...)
    Corrupt,          // the coded bytes are damaged
    Truncated,        // the coded bytes end before the coded stream does
    TooLarge,         // the decoded body would pass the limit
    TooCompressed,    // more than kMaxDecodeRatio decoded bytes per coded byte: a bomb
    Stopped,          // the receiver of the decoded bytes wanted no more
};

const char* ToString(DecodeResult result);

// Undoes a Content-Encoding value ("gzip", "x-gzip", "deflate", "br",
// "identity", or a comma-separated list, applied in order) as the coded bytes
// arrive, handing the decoded bytes on in pieces of at most kPieceLength, so
// that no more than a few pieces are held whatever the body's size. Bytes
// after the end of a coded stream are ignored, as browsers do. The decoding
// stops as soon as it has given more than kMaxDecodeRatio bytes per coded
// byte fed so far: deflate alone reaches about 1030:1 only on runs of one
// byte, and no movie comes near it, so past it the body is built to fill a
// disk.
class BodyDecoderStream {
public:
    static constexpr std::size_t kPieceLength = 64 * 1024;
    static constexpr std::uint64_t kMaxDecodeRatio = 1000;
    // Codings undone one inside the other; a longer list is refused (each
    // is a layer, and servers send one).
    static constexpr std::size_t kMaxCodings = 3;
    // Takes each decoded piece; false stops the decoding.
    using Sink = std::function<bool(std::string_view decoded)>;

    // pieceLength (at most kPieceLength): a receiver that wants only the
    // first few bytes asks for small pieces, so no more is decoded than that.
    BodyDecoderStream(std::string_view contentEncoding, Sink sink, std::size_t pieceLength = kPieceLength);
    ~BodyDecoderStream();
    BodyDecoderStream(const BodyDecoderStream&) = delete;
    BodyDecoderStream& operator=(const BodyDecoderStream&) = delete;

    // Ok while decoding can go on; once anything else, it stays so.
    DecodeResult Feed(std::string_view coded);
    // The coded bytes ended: Ok when every coded stream ended too.
    DecodeResult Finish();

    class Layer;

private:
    DecodeResult Emit(std::size_t layer, std::string_view bytes);

    std::vector<std::unique_ptr<Layer>> layers_;  // in decoding order
    Sink sink_;
    std::uint64_t coded_ = 0;
    // Bytes each layer gave: every one is held to the ratio, so an inner
    // layer that only grows cannot hide behind an outer one that gives little.
    std::vector<std::uint64_t> layerOutput_;
    DecodeResult result_ = DecodeResult::Ok;
};

// The whole body at once, into memory, at most limit bytes decoded.
DecodeResult DecodeBody(std::string_view contentEncoding, std::string_view coded, std::string& decoded,
                        std::size_t limit = std::size_t(1) << 30);

// Decodes only as far as the first prefixLength bytes of the body (fewer when
// the body is shorter): enough to look at a file signature without paying
// for the whole body.
DecodeResult DecodeBodyPrefix(std::string_view contentEncoding, std::string_view coded, std::size_t prefixLength,
                              std::string& prefix);

}  // namespace tessaro
