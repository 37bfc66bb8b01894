#include "formats/swf/MovieBody.h"

#include "platform/core/ByteOrder.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <lzma.h>
#include <zlib.h>

namespace tessaro::swf {

namespace {

constexpr std::size_t kFirstChunk = 256 * 1024;
constexpr std::size_t kInputChunk = std::size_t(1) << 30;  // the most one call is given
constexpr std::size_t kOutputStep = std::size_t(1) << 20;  // out per call, between looks at the cancel flag

// Makes room for more output: doubles what is there, up to length.
void Grow(std::string& out, std::size_t length)
{
    const std::size_t next = std::min(length, std::max(kFirstChunk, out.size() * 2));
    out.resize(next);
}

}  // namespace

BodyResult InflateMovieBody(std::string_view stream, std::size_t length, std::string& out,
                            const std::atomic<bool>* cancelled)
{
    out.clear();
    if (length == 0)
        return BodyResult::Ok;
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return BodyResult::Corrupt;
    std::size_t produced = 0;
    BodyResult result = BodyResult::CutShort;
    while (true) {
        if (cancelled != nullptr && cancelled->load(std::memory_order_relaxed)) {
            result = BodyResult::Cancelled;
            break;
        }
        if (produced == out.size())
            Grow(out, length);
        if (z.avail_in == 0 && !stream.empty()) {
            const std::size_t chunk = std::min(stream.size(), kInputChunk);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
            z.avail_in = static_cast<uInt>(chunk);
            stream.remove_prefix(chunk);
        }
        const std::size_t room = std::min(out.size() - produced, kOutputStep);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        z.avail_out = static_cast<uInt>(room);
        const int status = inflate(&z, Z_NO_FLUSH);
        produced += room - z.avail_out;
        if (produced == length) {
            result = BodyResult::Ok;
            break;
        }
        if (status == Z_STREAM_END)
            break;
        if (status == Z_BUF_ERROR && z.avail_in == 0 && stream.empty())
            break;
        if (status != Z_OK && status != Z_BUF_ERROR) {
            result = BodyResult::Corrupt;
            break;
        }
    }
    inflateEnd(&z);
    out.resize(produced);
    return result;
}

BodyResult DecodeLzmaMovieBody(std::string_view stream, std::size_t length, std::string& out,
                               const std::atomic<bool>* cancelled)
{
    out.clear();
    constexpr std::size_t kLengthAndProperties = 4 + 5;
    if (stream.size() < kLengthAndProperties)
        return BodyResult::CutShort;
    if (length == 0)
        return BodyResult::Ok;
    // The movie's properties become a .lzma header (properties, dictionary,
    // uncompressed size) for liblzma; the dictionary never needs to be larger
    // than the body it decodes to.
    std::uint8_t header[13];
    header[0] = static_cast<std::uint8_t>(stream[4]);
    std::uint32_t dictionary = LoadLe32(stream.data() + 5);
    dictionary = static_cast<std::uint32_t>(
        std::min<std::size_t>({dictionary, std::max<std::size_t>(length, 4096), kMaxLzmaDictionary}));
    for (int i = 0; i < 4; ++i)
        header[1 + i] = static_cast<std::uint8_t>(dictionary >> (8 * i));
    for (int i = 0; i < 8; ++i)
        header[5 + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(length) >> (8 * i));
    stream.remove_prefix(kLengthAndProperties);

    lzma_stream z = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&z, kMaxLzmaDictionary + (std::size_t(16) << 20)) != LZMA_OK)
        return BodyResult::Corrupt;
    std::size_t produced = 0;
    BodyResult result = BodyResult::CutShort;
    bool headerGiven = false;
    while (true) {
        if (cancelled != nullptr && cancelled->load(std::memory_order_relaxed)) {
            result = BodyResult::Cancelled;
            break;
        }
        if (produced == out.size())
            Grow(out, length);
        if (z.avail_in == 0) {
            if (!headerGiven) {
                z.next_in = header;
                z.avail_in = sizeof header;
                headerGiven = true;
            } else if (!stream.empty()) {
                z.next_in = reinterpret_cast<const std::uint8_t*>(stream.data());
                z.avail_in = stream.size();
                stream = {};
            }
        }
        const std::size_t room = std::min(out.size() - produced, kOutputStep);
        z.next_out = reinterpret_cast<std::uint8_t*>(out.data() + produced);
        z.avail_out = room;
        const lzma_ret status = lzma_code(&z, z.avail_in == 0 ? LZMA_FINISH : LZMA_RUN);
        produced += room - z.avail_out;
        if (produced == length) {
            result = BodyResult::Ok;
            break;
        }
        if (status == LZMA_STREAM_END || status == LZMA_BUF_ERROR)
            break;
        if (status != LZMA_OK) {
            result = BodyResult::Corrupt;
            break;
        }
    }
    lzma_end(&z);
    out.resize(produced);
    return result;
}

}  // namespace tessaro::swf
