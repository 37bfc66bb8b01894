// Feeds arbitrary bytes to the movie check in pieces; the first byte picks
// the piece size, so fields and compressed streams are split everywhere.

#include "formats/swf/MovieCheck.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = std::size_t(data[0]) * 61 + 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    constexpr std::uint64_t kLimit = 1 << 20;
    tessaro::MovieCheck check(kLimit);
    tessaro::MovieCheckResult last = check.Result();
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        const tessaro::MovieCheckResult result = check.Feed(bytes.substr(at, piece));
        // A verdict against the bytes is final.
        if ((last == tessaro::MovieCheckResult::NotAMovie || last == tessaro::MovieCheckResult::TooLarge) &&
            result != last)
            __builtin_trap();
        last = result;
    }
    const tessaro::MovieCheckResult result = check.End();
    if (check.DeclaredLength() > kLimit && result != tessaro::MovieCheckResult::TooLarge &&
        result != tessaro::MovieCheckResult::NotAMovie)
        __builtin_trap();
    if (result == tessaro::MovieCheckResult::Complete &&
        (check.DecodedLength() != check.DeclaredLength() || !check.Reason().empty()))
        __builtin_trap();
    if (result != tessaro::MovieCheckResult::Complete && check.Reason().empty())
        __builtin_trap();
    return 0;
}
