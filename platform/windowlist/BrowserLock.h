#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tessaro {

// A running browser marks its profile with a symbolic link whose target names
// the process:
//   Firefox   <profile>/lock                 -> "<address>:+<pid>"
//   Chromium  <user data folder>/SingletonLock -> "<host name>-<pid>"
// The pid is the run of digits at the end of the target.

// A process id is 1 to the largest pid_t; any other number names no one
// process (kill() reads 0 and negative numbers as process groups).
std::optional<pid_t> PidOf(std::int64_t number);

std::optional<pid_t> LockTargetPid(std::string_view target);
std::optional<pid_t> LockOwnerPid(const std::filesystem::path& lockLink);

// True when the process exists (also when it belongs to someone we may not signal).
bool IsLiveProcess(std::optional<pid_t> pid);

// True when the lock names a process that is running now.
bool HeldByLiveProcess(const std::filesystem::path& lockLink);

// True when a Flatpak instance of the application is running. A Flatpak
// browser runs in a process namespace of its own, so the pid in its lock means
// nothing here; Flatpak lists each running instance under
// <runtime>/.flatpak/<instance>/ with "info" (a key file naming the
// application) and "bwrapinfo.json" (the sandbox's pid as seen from outside).
bool FlatpakAppRunning(const std::filesystem::path& runtimeFolder, const std::string& appId);

// "name=<appId>" inside the [Application] group of an instance's info file.
bool InfoNamesApp(std::string_view info, std::string_view appId);
// The "child-pid" of an instance's bwrapinfo.json, when it is a pid.
std::optional<pid_t> BwrapChildPid(std::string_view json);

// The lock check for a browser home: a Flatpak home's lock counts while its
// application runs; every other home's lock must name a live process (a
// snap's processes share the host's pids).
bool BrowserHomeLocked(const std::filesystem::path& lockLink, bool flatpak, const std::filesystem::path& runtimeFolder,
                       const std::string& appId);

}  // namespace tessaro
