// Feeds arbitrary bytes to the movie reader, whole and for the details only.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/swf/MovieNames.h"
#include "platform/swf/MovieReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const tessaro::TMovieReading whole = tessaro::ReadMovie(bytes);
    if (whole.movieNames.size() > tessaro::swf::kMaxMovieNames || whole.nestedMovies < 0)
        __builtin_trap();
    const tessaro::TMovieReading details = tessaro::ReadMovieDetails(bytes);
    if (!details.movieNames.isEmpty() || details.details.version != whole.details.version)
        __builtin_trap();
    return 0;
}
