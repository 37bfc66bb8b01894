// Feeds arbitrary bytes to the reader of Chromium's Local State.

#include "formats/session/ChromiumLocalState.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (const auto profiles =
            tessaro::ParseLastActiveProfiles(std::string_view(reinterpret_cast<const char*>(data), size)))
        for (const std::string& profile : *profiles)
            if (profile.empty())
                __builtin_trap();
    return 0;
}
