#include "platform/urlcache/BodyDecoder.h"

#include "platform/core/AsciiText.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include <brotli/decode.h>
#include <zlib.h>

namespace tessaro {

namespace {

constexpr std::size_t kInnerPrefixLimit = 1024 * 1024;

enum class Coding { Identity, Gzip, Deflate, Brotli, Unknown };

std::vector<Coding> ParseCodings(std::string_view value)
{
    std::vector<Coding> codings;
    while (true) {
        const std::size_t comma = value.find(',');
        const std::string name = LowerAscii(TrimAscii(value.substr(0, comma)));
        if (name == "gzip" || name == "x-gzip")
            codings.push_back(Coding::Gzip);
        else if (name == "deflate")
            codings.push_back(Coding::Deflate);
        else if (name == "br")
            codings.push_back(Coding::Brotli);
        else if (name.empty() || name == "identity")
            ;
        else
            codings.push_back(Coding::Unknown);
        if (comma == std::string_view::npos)
            break;
        value.remove_prefix(comma + 1);
    }
    return codings;
}

// windowBits: 16 + MAX_WBITS for gzip, MAX_WBITS for zlib-wrapped deflate,
// -MAX_WBITS for raw deflate.
DecodeResult Inflate(std::string_view coded, int windowBits, std::size_t limit, std::string& out)
{
    z_stream stream{};
    if (inflateInit2(&stream, windowBits) != Z_OK)
        return DecodeResult::Corrupt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(coded.data()));
    stream.avail_in = static_cast<uInt>(coded.size());
    out.clear();
    char buffer[64 * 1024];
    DecodeResult result = DecodeResult::Truncated;
    while (true) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        const int status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = sizeof buffer - stream.avail_out;
        const std::size_t take = std::min(produced, limit - out.size());
        out.append(buffer, take);
        if (take < produced) {
            result = DecodeResult::TooLarge;
            break;
        }
        if (status == Z_STREAM_END) {
            result = DecodeResult::Ok;
            break;
        }
        if (status == Z_NEED_DICT || status == Z_DATA_ERROR || status == Z_MEM_ERROR) {
            result = DecodeResult::Corrupt;
            break;
        }
        if (status == Z_BUF_ERROR || (stream.avail_in == 0 && stream.avail_out != 0)) {
            result = DecodeResult::Truncated;
            break;
        }
    }
    inflateEnd(&stream);
    return result;
}

DecodeResult Unbrotli(std::string_view coded, std::size_t limit, std::string& out)
{
    BrotliDecoderState* state = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
    if (state == nullptr)
        return DecodeResult::Corrupt;
    std::size_t availableIn = coded.size();
    const auto* nextIn = reinterpret_cast<const std::uint8_t*>(coded.data());
    out.clear();
    DecodeResult result = DecodeResult::Corrupt;
    std::uint8_t buffer[64 * 1024];
    while (true) {
        std::size_t availableOut = sizeof buffer;
        std::uint8_t* nextOut = buffer;
        const BrotliDecoderResult status =
            BrotliDecoderDecompressStream(state, &availableIn, &nextIn, &availableOut, &nextOut, nullptr);
        const std::size_t produced = sizeof buffer - availableOut;
        const std::size_t take = std::min(produced, limit - out.size());
        out.append(reinterpret_cast<const char*>(buffer), take);
        if (take < produced) {
            result = DecodeResult::TooLarge;
            break;
        }
        if (status == BROTLI_DECODER_RESULT_SUCCESS) {
            result = DecodeResult::Ok;
            break;
        }
        if (status == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT) {
            result = DecodeResult::Truncated;
            break;
        }
        if (status == BROTLI_DECODER_RESULT_ERROR) {
            result = DecodeResult::Corrupt;
            break;
        }
        // NEEDS_MORE_OUTPUT: go round with an empty buffer.
    }
    BrotliDecoderDestroyInstance(state);
    return result;
}

DecodeResult DecodeOne(Coding coding, std::string_view coded, std::size_t limit, std::string& out)
{
    switch (coding) {
        case Coding::Identity:
            if (coded.size() > limit)
                return DecodeResult::TooLarge;
            out.assign(coded);
            return DecodeResult::Ok;
        case Coding::Gzip:
            return Inflate(coded, 16 + MAX_WBITS, limit, out);
        case Coding::Deflate: {
            // "deflate" should be zlib-wrapped; some servers send raw deflate.
            const DecodeResult wrapped = Inflate(coded, MAX_WBITS, limit, out);
            if (wrapped != DecodeResult::Corrupt)
                return wrapped;
            return Inflate(coded, -MAX_WBITS, limit, out);
        }
        case Coding::Brotli:
            return Unbrotli(coded, limit, out);
        case Coding::Unknown:
            break;
    }
    return DecodeResult::UnknownEncoding;
}

DecodeResult Decode(std::string_view contentEncoding, std::string_view coded, std::size_t limit, bool prefixOnly,
                    std::string& decoded)
{
    const std::vector<Coding> codings = ParseCodings(contentEncoding);
    if (std::find(codings.begin(), codings.end(), Coding::Unknown) != codings.end())
        return DecodeResult::UnknownEncoding;
    std::string current(coded);
    // Codings are listed in the order they were applied: undo the last first.
    for (auto it = codings.rbegin(); it != codings.rend(); ++it) {
        // For a prefix, inner layers need more than the prefix's length of
        // their own coded bytes to yield it.
        const bool last = std::next(it) == codings.rend();
        const std::size_t layerLimit = prefixOnly && !last ? std::max(limit, kInnerPrefixLimit) : limit;
        std::string next;
        DecodeResult result = DecodeOne(*it, current, layerLimit, next);
        // A prefix is good enough once it is as long as asked for, even if
        // the stream would go on (or the coded bytes were cut to a prefix).
        if (prefixOnly && (result == DecodeResult::TooLarge || result == DecodeResult::Truncated))
            result = next.empty() ? DecodeResult::Truncated : DecodeResult::Ok;
        if (result != DecodeResult::Ok)
            return result;
        current = std::move(next);
    }
    if (current.size() > limit) {
        if (!prefixOnly)
            return DecodeResult::TooLarge;
        current.resize(limit);
    }
    decoded = std::move(current);
    return DecodeResult::Ok;
}

}  // namespace

const char* ToString(DecodeResult result)
{
    switch (result) {
        case DecodeResult::Ok:
            return "ok";
        case DecodeResult::UnknownEncoding:
            return "unknown encoding";
        case DecodeResult::Corrupt:
            return "corrupt";
        case DecodeResult::Truncated:
            return "truncated";
        case DecodeResult::TooLarge:
            return "too large";
    }
    return "?";
}

DecodeResult DecodeBody(std::string_view contentEncoding, std::string_view coded, std::string& decoded,
                        std::size_t limit)
{
    return Decode(contentEncoding, coded, limit, false, decoded);
}

DecodeResult DecodeBodyPrefix(std::string_view contentEncoding, std::string_view coded, std::size_t prefixLength,
                              std::string& prefix)
{
    return Decode(contentEncoding, coded, prefixLength, true, prefix);
}

}  // namespace tessaro
