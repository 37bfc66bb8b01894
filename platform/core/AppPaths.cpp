#include "platform/core/AppPaths.h"

#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace tessaro {

namespace {

std::filesystem::path UserCacheFolder()
{
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && *xdg == '/')
        return xdg;
    // A relative or empty HOME would put the cache under whatever folder the
    // program was started in.
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/')
        return std::filesystem::path(home) / ".cache";
    const passwd* user = getpwuid(getuid());
    return std::filesystem::path(user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "/tmp") / ".cache";
}

}  // namespace

std::filesystem::path ProgramCacheFolder()
{
    return UserCacheFolder() / "tessaro";
}

std::filesystem::path EmbeddedBrowserCacheFolder()
{
    return ProgramCacheFolder() / "WebEngine";
}

std::filesystem::path CacheContentFolder()
{
    return ProgramCacheFolder() / "Content";
}

std::filesystem::path ProgramFolder()
{
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() : self.parent_path();
}

}  // namespace tessaro
