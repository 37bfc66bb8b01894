#include "support/MovieBuilder.h"

#include <stdexcept>
#include <vector>

#include <lzma.h>
#include <zlib.h>

namespace tessaro::test {

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

std::string TMovieBuilder::Build(char signature, bool endTag) const
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
    std::string movie{signature, 'W', 'S', static_cast<char>(version_)};
    movie += U32(static_cast<std::uint32_t>(8 + body.size()));
    if (signature == 'C')
        return movie + Zlib(body);
    if (signature == 'Z') {
        const std::string lzma = Lzma(body);
        return movie + U32(static_cast<std::uint32_t>(lzma.size() - 5)) + lzma;
    }
    return movie + body;
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

std::string TMovieBuilder::Zlib(std::string_view bytes)
{
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                  static_cast<uLong>(bytes.size()), 6) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

std::string TMovieBuilder::Lzma(std::string_view bytes)
{
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    lzma_stream z = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&z, &options) != LZMA_OK)
        throw std::runtime_error("lzma_alone_encoder failed");
    std::string out(bytes.size() + bytes.size() / 2 + 4096, '\0');
    z.next_in = reinterpret_cast<const std::uint8_t*>(bytes.data());
    z.avail_in = bytes.size();
    z.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    z.avail_out = out.size();
    const lzma_ret status = lzma_code(&z, LZMA_FINISH);
    out.resize(z.total_out);
    lzma_end(&z);
    if (status != LZMA_STREAM_END)
        throw std::runtime_error("lzma_code failed");
    return out.substr(0, 5) + out.substr(13);  // the movie keeps no uncompressed size
}

}  // namespace tessaro::test
