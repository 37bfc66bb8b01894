// Feeds arbitrary bytes to the movie reader, whole and for the details only.
// The reader's work budget must hold for every input: the bytes it weighs as
// names stay within their multiple of the input, so a slow input shows as a
// broken bound, not only as a time-out.

#include "formats/swf/MovieNames.h"
#include "formats/swf/MovieReader.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::atomic<bool> cancelled{false};
    const tessaro::TMovieReading whole = tessaro::ReadMovie(bytes, &cancelled);
    if (whole.movieNames.size() > tessaro::swf::kMaxMovieNames || whole.nestedMovies < 0 ||
        whole.offeredBytes > tessaro::kMaxOfferedBytesPerMovieByte * size ||
        whole.result == tessaro::MovieReadResult::Cancelled)
        __builtin_trap();
    const std::atomic<bool> stop{true};
    const tessaro::TMovieReading stopped = tessaro::ReadMovie(bytes, &stop);
    if (stopped.offeredBytes != 0 || !stopped.movieNames.isEmpty())
        __builtin_trap();
    const tessaro::TMovieReading details = tessaro::ReadMovieDetails(bytes);
    if (!details.movieNames.isEmpty() || details.details.version != whole.details.version)
        __builtin_trap();
    return 0;
}
