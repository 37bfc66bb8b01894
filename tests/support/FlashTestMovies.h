#pragma once

#include <QColor>
#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro::test {

// The smallest movie a Flash player accepts: an uncompressed header, the
// frame size, 24 frames a second, one frame that only sets the background.
//   "FWS" version length(u32 LE)  RECT(nbits 16: 0..w, 0..h in twips)
//   rate(u16 8.8) count(u16)  FileAttributes  SetBackgroundColor  ShowFrame  End
inline std::string MinimalMovie(QColor background, int width, int height, int version = 10)
{
    std::vector<bool> bits;
    auto put = [&](std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i)
            bits.push_back(((value >> i) & 1u) != 0);
    };
    put(16, 5);
    for (const int twips : {0, width * 20, 0, height * 20})
        put(static_cast<std::uint32_t>(twips), 16);
    std::string body;
    for (std::size_t i = 0; i < bits.size(); i += 8) {
        unsigned char byte = 0;
        for (std::size_t j = 0; j < 8; ++j)
            byte = static_cast<unsigned char>((byte << 1) | (i + j < bits.size() && bits[i + j] ? 1 : 0));
        body.push_back(static_cast<char>(byte));
    }
    body += std::string("\x00\x18\x01\x00", 4);          // 24.0 fps, 1 frame
    body += std::string("\x44\x11\x00\x00\x00\x00", 6);  // FileAttributes, no flags
    body += std::string("\x43\x02", 2);                  // SetBackgroundColor, 3 bytes
    body.push_back(static_cast<char>(background.red()));
    body.push_back(static_cast<char>(background.green()));
    body.push_back(static_cast<char>(background.blue()));
    body += std::string("\x40\x00\x00\x00", 4);  // ShowFrame, End
    const std::uint32_t length = static_cast<std::uint32_t>(8 + body.size());
    std::string movie = "FWS";
    movie.push_back(static_cast<char>(version));
    for (int i = 0; i < 4; ++i)
        movie.push_back(static_cast<char>((length >> (8 * i)) & 0xff));
    return movie + body;
}

// The share of an image's pixels within a small distance of a colour.
inline double ShareOfColour(const QImage& image, QColor colour)
{
    if (image.isNull() || image.width() == 0 || image.height() == 0)
        return 0;
    long hits = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            if (std::abs(p.red() - colour.red()) < 24 && std::abs(p.green() - colour.green()) < 24 &&
                std::abs(p.blue() - colour.blue()) < 24)
                ++hits;
        }
    return static_cast<double>(hits) / (static_cast<double>(image.width()) * image.height());
}

}  // namespace tessaro::test
