// Firefox session store: mozLz40 container, LZ4 block, then the JSON walk.

#include "formats/session/FirefoxSession.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    tessaro::ParseFirefoxSessionFile(bytes);
    // The JSON walk also on its own, so the fuzzer need not learn LZ4 to reach it.
    tessaro::ParseFirefoxSessionJson(bytes);
    return 0;
}
