#pragma once

#include "formats/urlcache/ByteSource.h"

#include <cstdint>

namespace tessaro {

// A Flash projector is a player program with a movie appended, then 8 bytes:
// the marker 0xFA123456 and the movie's length, both little-endian.
constexpr std::uint32_t kProjectorMarker = 0xFA123456u;

// Where the movie of a projector lies: true when the file ends in the marker
// and a length that leaves room for the player, and the bytes there start
// with a movie's signature.
bool FindProjectorMovie(const ByteSource& file, std::uint64_t& offset, std::uint64_t& length);

}  // namespace tessaro
