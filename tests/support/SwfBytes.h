#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaro::test {

// An uncompressed movie of exactly size bytes (at least 8): "FWS", version
// 10, the file length as a 32-bit little-endian number, then bytes that
// differ from place to place. declared, when given, is written as the length
// instead (a movie cut short or padded by whoever sends it).
inline std::string FwsMovie(std::size_t size, std::uint64_t declared = 0)
{
    const std::uint32_t length = static_cast<std::uint32_t>(declared != 0 ? declared : size);
    std::string movie = "FWS\x0a";
    for (int i = 0; i < 4; ++i)
        movie.push_back(static_cast<char>((length >> (8 * i)) & 0xff));
    movie.reserve(size);
    for (std::size_t i = movie.size(); i < size; ++i)
        movie.push_back(static_cast<char>('a' + (i * 7 + i / 1021) % 26));
    movie.resize(size);
    return movie;
}

}  // namespace tessaro::test
