#include "formats/urlcache/Projector.h"

#include "platform/core/ByteOrder.h"

#include <string>

namespace tessaro {

namespace {

// The header of a movie: signature, version and length.
constexpr std::uint64_t kMovieHeader = 8;

}  // namespace

bool FindProjectorMovie(const ByteSource& file, std::uint64_t& offset, std::uint64_t& length)
{
    std::string bytes;
    if (file.Size() < 8 + kMovieHeader || !file.Read(file.Size() - 8, 8, bytes) ||
        LoadLe32(bytes.data()) != kProjectorMarker)
        return false;
    length = LoadLe32(bytes.data() + 4);
    // A player comes first: a file that is only a movie is no projector.
    if (length < kMovieHeader || length >= file.Size() - 8)
        return false;
    offset = file.Size() - 8 - length;
    if (!file.Read(offset, 3, bytes))
        return false;
    return bytes == "FWS" || bytes == "CWS" || bytes == "ZWS";
}

}  // namespace tessaro
