#include "platform/windowlist/BrowserLock.h"

#include "platform/core/RegularFile.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <limits>
#include <string>
#include <system_error>

namespace tessaro {

namespace {

// Flatpak's instance files are a few hundred bytes; anything longer is not one.
constexpr std::size_t kMaxInstanceFileSize = 64 * 1024;
// Instances looked at before giving up: a runtime folder holds one per running app.
constexpr int kMaxFlatpakInstances = 1024;

std::string ReadInstanceFile(const std::filesystem::path& path)
{
    std::string text;
    return ReadRegularFile(path, kMaxInstanceFileSize, text) == RegularFileResult::Ok ? text : std::string();
}

}  // namespace

std::optional<pid_t> PidOf(std::int64_t number)
{
    if (number < 1 || number > std::numeric_limits<pid_t>::max())
        return std::nullopt;
    return static_cast<pid_t>(number);
}

std::optional<pid_t> LockTargetPid(std::string_view target)
{
    std::size_t digits = target.size();
    while (digits > 0 && target[digits - 1] >= '0' && target[digits - 1] <= '9')
        --digits;
    const std::string_view run = target.substr(digits);
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(run.data(), run.data() + run.size(), number);
    if (run.empty() || error != std::errc() || end != run.data() + run.size())
        return std::nullopt;
    return PidOf(number);
}

std::optional<pid_t> LockOwnerPid(const std::filesystem::path& lockLink)
{
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(lockLink, error).string();
    if (error)
        return std::nullopt;
    return LockTargetPid(target);
}

bool IsLiveProcess(std::optional<pid_t> pid)
{
    // kill() takes 0 and negative numbers as process groups, never as one process.
    if (!pid || *pid < 1)
        return false;
    return ::kill(*pid, 0) == 0 || errno == EPERM;
}

bool HeldByLiveProcess(const std::filesystem::path& lockLink)
{
    return IsLiveProcess(LockOwnerPid(lockLink));
}

bool InfoNamesApp(std::string_view info, std::string_view appId)
{
    bool inApplication = false;
    while (!info.empty()) {
        const std::size_t end = info.find('\n');
        std::string_view line = info.substr(0, end);
        info = end == std::string_view::npos ? std::string_view() : info.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.starts_with('['))
            inApplication = line == "[Application]";
        else if (inApplication && line.starts_with("name=") && line.substr(5) == appId)
            return true;
    }
    return false;
}

std::optional<pid_t> BwrapChildPid(std::string_view json)
{
    const QJsonValue value =
        QJsonDocument::fromJson(QByteArray::fromRawData(json.data(), static_cast<qsizetype>(json.size())))
            .object()
            .value(QStringLiteral("child-pid"));
    // toInteger() gives the default for anything but a whole number that fits.
    constexpr qint64 kNotANumber = -1;
    return PidOf(value.toInteger(kNotANumber));
}

bool FlatpakAppRunning(const std::filesystem::path& runtimeFolder, const std::string& appId)
{
    if (runtimeFolder.empty() || appId.empty())
        return false;
    std::error_code error;
    int seen = 0;
    for (std::filesystem::directory_iterator it(runtimeFolder / ".flatpak", error), end;
         !error && it != end && seen < kMaxFlatpakInstances; it.increment(error), ++seen) {
        if (InfoNamesApp(ReadInstanceFile(it->path() / "info"), appId) &&
            IsLiveProcess(BwrapChildPid(ReadInstanceFile(it->path() / "bwrapinfo.json"))))
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
