#include "support/TestMovies.h"

#include <lzma.h>
#include <stdexcept>
#include <vector>
#include <zlib.h>

namespace tessaro::test {

namespace {

std::string Zlib(std::string_view bytes, int level)
{
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                  static_cast<uLong>(bytes.size()), level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

// The LZMA properties (5 bytes) and data; the movie keeps no uncompressed
// size, so without the end marker only its declared length ends the stream.
std::string Lzma(std::string_view bytes, bool endMarker)
{
    lzma_options_lzma options{};
    if (lzma_lzma_preset(&options, 6))
        throw std::runtime_error("lzma_lzma_preset failed");
    options.ext_flags = endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::string out(bytes.size() + bytes.size() / 2 + 4096, '\0');
    std::size_t used = 0;
    if (lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                               reinterpret_cast<std::uint8_t*>(out.data()), &used, out.size()) != LZMA_OK)
        throw std::runtime_error("lzma_raw_buffer_encode failed");
    out.resize(used);
    std::string properties(1, static_cast<char>((options.pb * 5 + options.lp) * 9 + options.lc));
    for (int i = 0; i < 4; ++i)
        properties.push_back(static_cast<char>((options.dict_size >> (8 * i)) & 0xff));
    return properties + out;
}

}  // namespace

TMovieBuilder& TMovieBuilder::Stage(int widthTwips, int heightTwips)
{
    width_ = widthTwips;
    height_ = heightTwips;
    return *this;
}

TMovieBuilder& TMovieBuilder::Frames(std::uint16_t rate8dot8, std::uint16_t count)
{
    rate_ = rate8dot8;
    count_ = count;
    return *this;
}

TMovieBuilder& TMovieBuilder::Tag(std::uint16_t code, std::string_view body, bool longForm)
{
    tags_ += TagBytes(code, body, longForm);
    return *this;
}

std::string TMovieBuilder::TagBytes(std::uint16_t code, std::string_view body, bool longForm)
{
    std::string tag;
    if (body.size() < 0x3f && !longForm) {
        tag = U16(static_cast<std::uint16_t>((code << 6) | body.size()));
    } else {
        tag = U16(static_cast<std::uint16_t>((code << 6) | 0x3f));
        tag += U32(static_cast<std::uint32_t>(body.size()));
    }
    return tag + std::string(body);
}

TMovieBuilder& TMovieBuilder::Raw(std::string_view bytes)
{
    tags_ += bytes;
    return *this;
}

std::string TMovieBuilder::Body(bool endTag) const
{
    std::vector<bool> bits;
    const auto put = [&](std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i)
            bits.push_back(((value >> i) & 1u) != 0);
    };
    put(17, 5);
    for (const int twips : {0, width_, 0, height_})
        put(static_cast<std::uint32_t>(twips), 17);
    std::string body;
    for (std::size_t i = 0; i < bits.size(); i += 8) {
        unsigned char byte = 0;
        for (std::size_t j = 0; j < 8; ++j)
            byte = static_cast<unsigned char>((byte << 1) | (i + j < bits.size() && bits[i + j] ? 1 : 0));
        body.push_back(static_cast<char>(byte));
    }
    body += U16(rate_) + U16(count_) + tags_;
    if (endTag)
        body += U16(0);
    return body;
}

std::string TMovieBuilder::Wrap(std::string_view body, const TMovieHeader& header)
{
    const std::uint64_t length = header.declared != 0 ? header.declared : 8 + body.size();
    std::string movie{header.signature, 'W', 'S', static_cast<char>(header.version)};
    movie += U32(static_cast<std::uint32_t>(length));
    if (header.signature == 'C')
        return movie + Zlib(body, header.zlibLevel);
    if (header.signature == 'Z') {
        const std::string lzma = Lzma(body, header.lzmaEndMarker);
        return movie + U32(static_cast<std::uint32_t>(lzma.size() - 5)) + lzma;
    }
    return movie + std::string(body);
}

std::string TMovieBuilder::DeclaringLength(std::string movie, std::uint32_t length)
{
    return movie.replace(4, 4, U32(length));
}

std::string TMovieBuilder::U16(std::uint16_t value)
{
    return {static_cast<char>(value & 0xff), static_cast<char>(value >> 8)};
}

std::string TMovieBuilder::U32(std::uint32_t value)
{
    return U16(static_cast<std::uint16_t>(value & 0xffff)) + U16(static_cast<std::uint16_t>(value >> 16));
}

std::string TMovieBuilder::Action(std::uint8_t code, std::string_view data)
{
    std::string action(1, static_cast<char>(code));
    if (code >= 0x80)
        action += U16(static_cast<std::uint16_t>(data.size())) + std::string(data);
    return action;
}

std::string TMovieBuilder::ConstantPool(std::initializer_list<std::string_view> strings)
{
    std::string data = U16(static_cast<std::uint16_t>(strings.size()));
    for (const std::string_view text : strings)
        data += CString(text);
    return Action(0x88, data);
}

std::string TMovieBuilder::PushStrings(std::initializer_list<std::string_view> strings)
{
    std::string data;
    for (const std::string_view text : strings)
        data += '\0' + CString(text);
    return Action(0x96, data);
}

std::string TMovieBuilder::PushConstant(std::uint16_t index)
{
    if (index < 256)
        return Action(0x96, std::string{'\x08', static_cast<char>(index)});
    return Action(0x96, '\x09' + U16(index));
}

std::string TMovieBuilder::GetUrl(std::string_view url, std::string_view target)
{
    return Action(0x83, CString(url) + CString(target));
}

std::string TMovieBuilder::Varint(std::uint32_t value)
{
    std::string out;
    do {
        const auto low = static_cast<char>(value & 0x7f);
        value >>= 7;
        out.push_back(static_cast<char>(low | (value != 0 ? 0x80 : 0)));
    } while (value != 0);
    return out;
}

std::string TMovieBuilder::AbcFile(std::initializer_list<std::string_view> strings)
{
    // minor 16, major 46; one int (count 2), no uints, one double, the strings.
    std::string abc = U16(16) + U16(46) + Varint(2) + Varint(300) + Varint(0) + Varint(2) + std::string(8, '\x01');
    abc += Varint(static_cast<std::uint32_t>(strings.size() + 1));
    for (const std::string_view text : strings)
        abc += Varint(static_cast<std::uint32_t>(text.size())) + std::string(text);
    return abc + Varint(0) + Varint(0) + Varint(0);  // namespaces, sets, multinames (empty)
}

std::string FwsMovie(std::size_t size, std::uint64_t declared)
{
    std::string filler;
    filler.reserve(size);
    for (std::size_t i = 8; i < size; ++i)
        filler.push_back(static_cast<char>('a' + (i * 7 + i / 1021) % 26));
    std::string movie = TMovieBuilder::Wrap(filler, {.declared = declared});
    movie.resize(size);
    return movie;
}

std::string MinimalMovie(TRgb background, int width, int height, int version)
{
    return TMovieBuilder(version)
        .Stage(width * 20, height * 20)
        .FileAttributes(false)
        .Background(background)
        .ShowFrame()
        .Build();
}

}  // namespace tessaro::test
