#include "platform/player/PlayerSourceThread.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/http/HttpClient.h"

namespace tessaro {

namespace {

// A preview that waits longer than this shows the player's failure instead.
HttpLimits PreviewLimits()
{
    HttpLimits limits;
    limits.connectTimeoutSeconds = 15;
    limits.stallTimeoutSeconds = 30;
    return limits;
}

}  // namespace

TPlayerSourceThread::TPlayerSourceThread(QObject* receiver, Origin origin, QString location)
    : TThread(receiver), origin_(origin), location_(std::move(location))
{
    Start();
}

void TPlayerSourceThread::Execute()
{
    if (origin_ == Origin::Disk)
        ReadFile();
    else
        FetchAddress();
}

void TPlayerSourceThread::ReadFile()
{
    const std::filesystem::path path = location_.toStdString();
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        missing_ = true;
        error_ = "not a file: " + path.string();
        return;
    }
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > kMaxBytes) {
        error_ = error ? error.message() : "larger than the player is given";
        return;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error_ = std::strerror(errno);
        return;
    }
    bytes_.resize(static_cast<qsizetype>(size));
    in.read(bytes_.data(), static_cast<std::streamsize>(size));
    // A file that shrank while being read gives what was there.
    bytes_.resize(static_cast<qsizetype>(in.gcount()));
    ok_ = !in.bad();
}

void TPlayerSourceThread::FetchAddress()
{
    HttpFetchResult result = FetchUrl(location_.toStdString(), kMaxBytes, "HTTPGET", PreviewLimits());
    if (!result.ok) {
        missing_ = result.status == 404 || result.status == 410;
        error_ = result.error;
        return;
    }
    bytes_ = QByteArray::fromStdString(result.body);
    contentType_ = QByteArray::fromStdString(result.contentType);
    ok_ = true;
}

}  // namespace tessaro
