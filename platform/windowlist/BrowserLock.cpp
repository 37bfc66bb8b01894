#include "platform/windowlist/BrowserLock.h"

#include <cerrno>
#include <csignal>
#include <string>
#include <system_error>

namespace tessaro {

std::optional<long> LockOwnerPid(const std::filesystem::path& lockLink)
{
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(lockLink, error).string();
    if (error || target.empty())
        return std::nullopt;
    std::size_t digits = target.size();
    while (digits > 0 && target[digits - 1] >= '0' && target[digits - 1] <= '9')
        --digits;
    const std::size_t count = target.size() - digits;
    if (count == 0 || count > 9)
        return std::nullopt;
    const long pid = std::stol(target.substr(digits));
    return pid > 0 ? std::optional<long>(pid) : std::nullopt;
}

bool IsLiveProcess(long pid)
{
    if (pid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool HeldByLiveProcess(const std::filesystem::path& lockLink)
{
    const std::optional<long> pid = LockOwnerPid(lockLink);
    return pid && IsLiveProcess(*pid);
}

}  // namespace tessaro
