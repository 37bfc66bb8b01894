// Feeds arbitrary bytes to the reading of a lock link's target. A pid comes
// out only in 1..INT_MAX, never a number kill() reads as a group.

#include "platform/windowlist/BrowserLock.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view target(reinterpret_cast<const char*>(data), size);
    if (const std::optional<pid_t> pid = tessaro::LockTargetPid(target); pid && *pid < 1)
        __builtin_trap();
    return 0;
}
