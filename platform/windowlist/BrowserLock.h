#pragma once

#include <filesystem>
#include <optional>

namespace tessaro {

// A running browser marks its profile with a symbolic link whose target names
// the process:
//   Firefox   <profile>/lock                 -> "<address>:+<pid>"
//   Chromium  <user data folder>/SingletonLock -> "<host name>-<pid>"
// The pid is the run of digits at the end of the target.

std::optional<long> LockOwnerPid(const std::filesystem::path& lockLink);

// True when the process exists (also when it belongs to someone we may not signal).
bool IsLiveProcess(long pid);

// True when the lock names a process that is running now.
bool HeldByLiveProcess(const std::filesystem::path& lockLink);

}  // namespace tessaro
