// Firefox's profiles.ini.

#include "formats/session/FirefoxProfiles.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tessaro::ParseFirefoxProfilesIni(std::string_view(reinterpret_cast<const char*>(data), size), "/profiles");
    return 0;
}
