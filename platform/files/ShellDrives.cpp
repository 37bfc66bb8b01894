#include "platform/files/ShellDrives.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace tessaro {

namespace {

bool IsOctal(char c)
{
    return c >= '0' && c <= '7';
}

std::string DecodeMountField(const std::string& field)
{
    std::string decoded;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) && IsOctal(field[i + 2]) &&
            IsOctal(field[i + 3])) {
            decoded += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            decoded += field[i];
        }
    }
    return decoded;
}

std::string WithoutFinalSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool IsBelow(const std::string& path, const std::string& folder)
{
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

std::string LastName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CurrentUserName()
{
    if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr && entry->pw_name != nullptr)
        return entry->pw_name;
    return qEnvironmentVariable("USER").toStdString();
}

}  // namespace

std::vector<std::string> ParseMountPoints(const std::string& mountsText)
{
    std::vector<std::string> points;
    std::istringstream lines(mountsText);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device;
        std::string point;
        if (fields >> device >> point)
            points.push_back(DecodeMountField(point));
    }
    return points;
}

std::vector<ShellDrive> MakeShellDrives(const std::vector<std::string>& mountPoints, const std::string& home,
                                        const std::string& user)
{
    std::vector<ShellDrive> drives;
    drives.push_back({ShellDrive::Kind::Root, "File System", "/"});
    const std::string homePath = WithoutFinalSlash(home);
    if (!homePath.empty() && homePath != "/" && homePath.front() == '/')
        drives.push_back({ShellDrive::Kind::Home, "Home", homePath});

    std::vector<std::string> parents{"/media", "/mnt"};
    if (!user.empty() && user.find('/') == std::string::npos)
        parents.push_back("/run/media/" + user);
    std::vector<std::string> volumes;
    for (const std::string& raw : mountPoints) {
        const std::string point = WithoutFinalSlash(raw);
        const bool removable = std::any_of(parents.begin(), parents.end(),
                                           [&](const std::string& parent) { return IsBelow(point, parent); });
        if (removable && point != homePath)
            volumes.push_back(point);
    }
    std::sort(volumes.begin(), volumes.end());
    volumes.erase(std::unique(volumes.begin(), volumes.end()), volumes.end());
    for (const std::string& volume : volumes)
        drives.push_back({ShellDrive::Kind::Volume, LastName(volume), volume});
    return drives;
}

std::vector<ShellDrive> CurrentShellDrives()
{
    std::string mounts;
    QFile file(QStringLiteral("/proc/self/mounts"));
    if (file.open(QIODevice::ReadOnly))
        mounts = file.readAll().toStdString();  // procfs reports size 0, so read to the end
    return MakeShellDrives(ParseMountPoints(mounts), QDir::homePath().toStdString(), CurrentUserName());
}

}  // namespace tessaro
