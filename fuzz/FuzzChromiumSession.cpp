// Chromium session files: SNSS framing (clear text and encrypted) and the
// replay of the commands into windows and tabs.

#include "formats/session/ChromiumSession.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tessaro::ParseChromiumSessionFile(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
