#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tessaro::test {

// Flash movies built byte by byte, for the tests, benchmarks and fuzz seeds.
//   header  "FWS", "CWS" or "ZWS"; version (u8); file length (u32 LE): the
//           whole movie's length uncompressed
//   "CWS"   the body follows as a zlib stream
//   "ZWS"   compressed length (u32 LE), LZMA properties (5), LZMA data
//   body    frame size (RECT of 17-bit fields, twips), frame rate (u16 8.8),
//           frame count (u16), tags, End

// How a body is put behind a header.
struct TMovieHeader {
    char signature = 'F';
    int version = 10;
    std::uint64_t declared = 0;  // a file length to write instead of the true one
    bool lzmaEndMarker = true;   // without one, the declared length ends the stream
    int zlibLevel = 6;           // what a damaged byte does depends on the bytes around it
};

// A colour as the movie stores it.
struct TRgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

class TMovieBuilder {
public:
    explicit TMovieBuilder(int version = 10) : version_(version) {}

    TMovieBuilder& Stage(int widthTwips, int heightTwips);
    TMovieBuilder& Frames(std::uint16_t rate8dot8, std::uint16_t count);
    // A tag; longForm forces the 6-byte header even for a short body.
    TMovieBuilder& Tag(std::uint16_t code, std::string_view body, bool longForm = false);
    // Raw bytes after the tags so far (a cut or hostile tail).
    TMovieBuilder& Raw(std::string_view bytes);
    TMovieBuilder& FileAttributes(bool actionScript3)
    {
        return Tag(69, std::string({actionScript3 ? '\x08' : '\0', 0, 0, 0}));
    }
    TMovieBuilder& Background(TRgb colour)
    {
        return Tag(9, std::string{static_cast<char>(colour.red), static_cast<char>(colour.green),
                                  static_cast<char>(colour.blue)});
    }
    TMovieBuilder& ShowFrame() { return Tag(1, {}); }

    // Everything after the header; the End tag added unless endTag is false.
    std::string Body(bool endTag = true) const;
    // The movie: 'F', 'C' or 'Z' for the three headers.
    std::string Build(char signature = 'F', bool endTag = true) const
    {
        return Wrap(Body(endTag), {.signature = signature, .version = version_});
    }

    // A header before body, which is compressed as the signature says.
    static std::string Wrap(std::string_view body, const TMovieHeader& header);
    // The movie with another file length in its header.
    static std::string DeclaringLength(std::string movie, std::uint32_t length);

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

private:
    int version_;
    int width_ = 550 * 20;
    int height_ = 400 * 20;
    std::uint16_t rate_ = 24 << 8;
    std::uint16_t count_ = 1;
    std::string tags_;
};

// An uncompressed movie of exactly size bytes (at least 8): the header of
// version 10, then bytes that differ from place to place, so a piece saved
// at the wrong offset shows. declared, when given, is written as the length
// instead (a movie cut short or padded by whoever sends it).
std::string FwsMovie(std::size_t size, std::uint64_t declared = 0);

// The smallest movie a Flash player shows: the stage, 24 frames a second,
// one frame that only sets the background.
std::string MinimalMovie(TRgb background, int width, int height, int version = 10);

}  // namespace tessaro::test
