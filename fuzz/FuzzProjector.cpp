// Feeds arbitrary files to the projector check.

#include "formats/urlcache/Projector.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const tessaro::MemoryByteSource file(std::string_view(reinterpret_cast<const char*>(data), size));
    std::uint64_t offset = 0, length = 0;
    if (tessaro::FindProjectorMovie(file, offset, length) && (offset == 0 || offset + length + 8 != size))
        __builtin_trap();
    return 0;
}
