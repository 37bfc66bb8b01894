#include "platform/files/ShellDrives.h"

#include <gtest/gtest.h>

namespace tessaro {
namespace {

TEST(ShellDrives, MountPointsAreTheSecondFieldWithEscapesDecoded)
{
    const std::string mounts =
        "proc /proc proc rw,nosuid 0 0\n"
        "/dev/sdb1 /media/anna/My\\040Stick vfat rw 0 0\n"
        "tmpfs /run/user/0 tmpfs rw 0 0\n"
        "broken\n"
        "/dev/sdc1 /mnt/back\\134slash ext4 rw 0 0";
    EXPECT_EQ(ParseMountPoints(mounts),
              (std::vector<std::string>{"/proc", "/media/anna/My Stick", "/run/user/0", "/mnt/back\\slash"}));
}

std::vector<std::string> Paths(const std::vector<ShellDrive>& drives)
{
    std::vector<std::string> paths;
    for (const ShellDrive& drive : drives)
        paths.push_back(drive.path);
    return paths;
}

TEST(ShellDrives, RootThenHomeThenVolumesForRemovableMedia)
{
    struct Row {
        const char* name;
        std::vector<std::string> mounts;
        std::string home;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"no volumes", {"/", "/proc", "/sys"}, "/home/anna", {"/", "/home/anna"}},
        {"home given with a final slash", {}, "/home/anna/", {"/", "/home/anna"}},
        {"home is the root folder", {}, "/", {"/"}},
        {"volumes sorted, each once",
         {"/mnt/b", "/media/anna/a", "/mnt/b", "/run/media/anna/c/"},
         "/root",
         {"/", "/root", "/media/anna/a", "/mnt/b", "/run/media/anna/c"}},
        {"the parents themselves and look-alikes are not volumes",
         {"/mnt", "/media", "/mediafoo/x", "/run/media/anna"},
         "/root",
         {"/", "/root"}},
        {"another user's media are not ours", {"/run/media/bob/stick"}, "/root", {"/", "/root"}},
        {"a home mounted under /mnt shows once", {"/mnt/home"}, "/mnt/home", {"/", "/mnt/home"}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Paths(MakeShellDrives(row.mounts, row.home, "anna")), row.expected) << row.name;
}

TEST(ShellDrives, AVolumeIsNamedAfterItsMountFolder)
{
    const auto drives = MakeShellDrives({"/media/anna/My Stick"}, "/home/anna", "anna");
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].kind, ShellDrive::Kind::Root);
    EXPECT_EQ(drives[1].kind, ShellDrive::Kind::Home);
    EXPECT_EQ(drives[2].kind, ShellDrive::Kind::Volume);
    EXPECT_EQ(drives[2].name, "My Stick");
}

}  // namespace
}  // namespace tessaro
