#include "platform/core/AppPaths.h"

#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace tessaro {

namespace {

// $<variable> when it is absolute, else <home>/<fallback>.
std::filesystem::path XdgFolder(const char* variable, const char* fallback)
{
    const char* xdg = std::getenv(variable);
    if (xdg != nullptr && *xdg == '/')
        return xdg;
    return HomeFolder() / fallback;
}

}  // namespace

std::filesystem::path HomeFolder()
{
    // A relative or empty HOME would put files under whatever folder the
    // program was started in.
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/')
        return home;
    const passwd* user = getpwuid(getuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "/tmp";
}

std::filesystem::path SettingsFile()
{
    return XdgFolder("XDG_CONFIG_HOME", ".config") / "tessaro" / "tessaro.conf";
}

std::filesystem::path ProgramCacheFolder()
{
    return XdgFolder("XDG_CACHE_HOME", ".cache") / "tessaro";
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
