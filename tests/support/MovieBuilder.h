#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tessaro::test {

// Builds Flash movies byte by byte for the reader's tests and benchmarks:
// tags, AVM1 actions, ABC string pools, and the three header forms.
class TMovieBuilder {
public:
    explicit TMovieBuilder(int version = 10) : version_(version) {}

    TMovieBuilder& Stage(int widthTwips, int heightTwips);
    TMovieBuilder& Frames(std::uint16_t rate8dot8, std::uint16_t count);
    // A tag; long forces the 6-byte header even for a short body.
    TMovieBuilder& Tag(std::uint16_t code, std::string_view body, bool longForm = false);
    // Raw bytes after the tags so far (a cut or hostile tail).
    TMovieBuilder& Raw(std::string_view bytes);
    TMovieBuilder& FileAttributes(bool actionScript3)
    {
        return Tag(69, std::string({actionScript3 ? '\x08' : '\0', 0, 0, 0}));
    }

    // The movie: "FWS", "CWS" or "ZWS", End tag added unless endTag is false.
    std::string Build(char signature = 'F', bool endTag = true) const;

    // Pieces of tag bodies.
    static std::string TagBytes(std::uint16_t code, std::string_view body, bool longForm = false);
    static std::string U16(std::uint16_t value);
    static std::string U32(std::uint32_t value);
    static std::string CString(std::string_view text) { return std::string(text) + '\0'; }
    static std::string Action(std::uint8_t code, std::string_view data);
    static std::string ConstantPool(std::initializer_list<std::string_view> strings);
    static std::string PushStrings(std::initializer_list<std::string_view> strings);
    static std::string PushConstant(std::uint16_t index);  // 8- or 16-bit by size
    static std::string GetUrl(std::string_view url, std::string_view target);
    static std::string GetUrl2() { return Action(0x9a, std::string(1, '\0')); }
    static std::string AbcFile(std::initializer_list<std::string_view> strings);
    static std::string Varint(std::uint32_t value);

    static std::string Zlib(std::string_view bytes);
    // The raw LZMA stream after a .lzma header: properties (5) and data.
    static std::string Lzma(std::string_view bytes);

private:
    int version_;
    int width_ = 550 * 20;
    int height_ = 400 * 20;
    std::uint16_t rate_ = 24 << 8;
    std::uint16_t count_ = 1;
    std::string tags_;
};

}  // namespace tessaro::test
