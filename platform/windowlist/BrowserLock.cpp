#include "platform/windowlist/BrowserLock.h"

#include <cerrno>
#include <csignal>
#include <string>
#include <fstream>
#include <system_error>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

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

namespace {

// Flatpak's instance files are a few hundred bytes; anything longer is not one.
constexpr std::streamsize kMaxInstanceFileSize = 64 * 1024;
// Instances looked at before giving up: a runtime folder holds one per running app.
constexpr int kMaxFlatpakInstances = 1024;

std::string ReadSmallFile(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return {};
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(kMaxInstanceFileSize), '\0');
    in.read(text.data(), kMaxInstanceFileSize);
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

// "name=<appId>" inside the [Application] group of the instance's info file.
bool InfoNamesApp(const std::string& info, const std::string& appId)
{
    bool inApplication = false;
    std::size_t start = 0;
    while (start < info.size()) {
        std::size_t end = info.find('\n', start);
        if (end == std::string::npos)
            end = info.size();
        std::string line = info.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with('['))
            inApplication = line == "[Application]";
        else if (inApplication && line == "name=" + appId)
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

bool FlatpakAppRunning(const std::filesystem::path& runtimeFolder, const std::string& appId)
{
    if (runtimeFolder.empty() || appId.empty())
        return false;
    std::error_code error;
    int seen = 0;
    for (std::filesystem::directory_iterator it(runtimeFolder / ".flatpak", error), end;
         !error && it != end && seen < kMaxFlatpakInstances; it.increment(error), ++seen) {
        if (!InfoNamesApp(ReadSmallFile(it->path() / "info"), appId))
            continue;
        const QByteArray json = QByteArray::fromStdString(ReadSmallFile(it->path() / "bwrapinfo.json"));
        const long pid = QJsonDocument::fromJson(json).object().value(QStringLiteral("child-pid")).toInteger();
        if (IsLiveProcess(pid))
            return true;
    }
    return false;
}

bool BrowserHomeLocked(const std::filesystem::path& lockLink, bool flatpak, const std::filesystem::path& runtimeFolder,
                       const std::string& appId)
{
    if (!flatpak)
        return HeldByLiveProcess(lockLink);
    return LockOwnerPid(lockLink).has_value() && FlatpakAppRunning(runtimeFolder, appId);
}

}  // namespace tessaro
