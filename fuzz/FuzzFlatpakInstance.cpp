// Feeds arbitrary bytes to the readers of a Flatpak instance: as its info
// key file and as its bwrapinfo.json. A pid comes out only in 1..INT_MAX.

#include "platform/windowlist/BrowserLock.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    tessaro::InfoNamesApp(bytes, "org.example.App");
    if (const std::optional<pid_t> pid = tessaro::BwrapChildPid(bytes); pid && (*pid < 1 || *pid > INT_MAX))
        __builtin_trap();
    return 0;
}
