#pragma once

#include <string>
#include <vector>

namespace tessaro {

// What stands for the drives under the folder tree's "Computer": the root
// folder, the home folder and the volumes mounted for removable media.
struct ShellDrive {
    enum class Kind { Root, Home, Volume };
    Kind kind;
    std::string name;  // what the tree shows
    std::string path;  // absolute, without a final "/" (except the root folder)
};

// The mount points listed in the text of /proc/self/mounts, in order, with
// the kernel's octal escapes (\040 for a blank) decoded.
std::vector<std::string> ParseMountPoints(const std::string& mountsText);

// The root folder, then the home folder (unless it is the root folder), then
// the mount points below /media, /mnt and /run/media/<user>, sorted by path,
// each once.
std::vector<ShellDrive> MakeShellDrives(const std::vector<std::string>& mountPoints, const std::string& home,
                                        const std::string& user);

// MakeShellDrives for this machine and this user.
std::vector<ShellDrive> CurrentShellDrives();

}  // namespace tessaro
