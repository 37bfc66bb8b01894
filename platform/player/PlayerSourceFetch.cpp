#include "platform/player/PlayerSourceFetch.h"

#include "platform/http/HttpClient.h"

#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {

std::string TooLarge()
{
    return "larger than the player is given (" + std::to_string(kMaxPlayerFetchBytes) + " bytes)";
}

PlayerFetchResult ReadFile(const QString& location, const std::atomic<bool>& cancelled)
{
    PlayerFetchResult result;
    const QByteArray path = location.toUtf8();
    // Non-blocking: opening a FIFO must not wait for a writer.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        result.missing = errno == ENOENT || errno == ENOTDIR;
        result.error = std::strerror(errno);
        return result;
    }
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        result.missing = true;
        result.error = "not a file: " + path.toStdString();
        return result;
    }
    if (static_cast<std::size_t>(status.st_size) > kMaxPlayerFetchBytes) {
        ::close(fd);
        result.error = TooLarge();
        return result;
    }
    // The size read above is a hint: a file that grows meanwhile still stops
    // at the cap.
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(status.st_size));
    char block[65536];
    for (;;) {
        if (cancelled) {
            ::close(fd);
            result.error = "cancelled";
            return result;
        }
        const ssize_t count = ::read(fd, block, sizeof block);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            result.error = std::strerror(errno);
            ::close(fd);
            return result;
        }
        if (count == 0)
            break;
        if (static_cast<std::size_t>(bytes.size()) + static_cast<std::size_t>(count) > kMaxPlayerFetchBytes) {
            ::close(fd);
            result.error = TooLarge();
            return result;
        }
        bytes.append(block, count);
    }
    ::close(fd);
    result.ok = true;
    result.bytes = std::move(bytes);
    return result;
}

// One GET of an address; a redirect comes back as the answer, not followed.
PlayerFetchResult FetchOnce(const QUrl& url, const PlayerSource& source, const std::atomic<bool>& cancelled,
                            QString& location)
{
    HttpRequest request;
    request.address = url;
    request.cancel = &cancelled;
    request.limits.reach = source.page != nullptr ? source.page->Reach(&cancelled) : HttpReach::PublicOnly;
    request.limits.pin = source.pin.get();
    request.limits.connectTimeoutSeconds = kPlayerConnectTimeoutSeconds;
    request.limits.stallTimeoutSeconds = kPlayerStallTimeoutSeconds;
    request.limits.followRedirects = false;
    HttpFetchResult fetched = FetchWholeBody(request, kMaxPlayerFetchBytes);

    PlayerFetchResult result;
    if (!fetched.location.empty()) {
        location = QString::fromStdString(fetched.location);
        return result;
    }
    if (!fetched.ok) {
        result.missing = fetched.status == 404 || fetched.status == 410;
        result.error = fetched.tooLarge ? TooLarge() : std::move(fetched.error);
        return result;
    }
    result.ok = true;
    result.contentType = QByteArray::fromStdString(fetched.contentType);
    result.bytes = QByteArray(fetched.body.data(), static_cast<qsizetype>(fetched.body.size()));
    return result;
}

PlayerFetchResult FetchAddress(const PlayerSource& source, const std::atomic<bool>& cancelled)
{
    QUrl url = HttpAddress(source.location);
    for (int redirects = 0;; ++redirects) {
        // Every hop is checked, the first one too: nothing leaves the origin.
        if (!url.isValid() || source.origin.isEmpty() || WebOrigin(url) != source.origin) {
            PlayerFetchResult refused;
            refused.error = "refused: " + url.toString().toStdString() + " is not on " + source.origin.toStdString();
            return refused;
        }
        QString location;
        PlayerFetchResult result = FetchOnce(url, source, cancelled, location);
        if (location.isEmpty())
            return result;
        if (redirects == kMaxPlayerRedirects) {
            result.error = "more than " + std::to_string(kMaxPlayerRedirects) + " redirects";
            return result;
        }
        const QUrl next = HttpAddress(location);
        if (!next.isValid()) {
            result.error = "a redirect to no valid address";
            return result;
        }
        url = url.resolved(next);
    }
}

}  // namespace

PlayerFetchResult FetchPlayerSource(const PlayerSource& source, const std::atomic<bool>& cancelled)
{
    switch (source.kind) {
        case PlayerSource::Kind::RuffleFile:
        case PlayerSource::Kind::LocalFile:
            return ReadFile(source.location, cancelled);
        case PlayerSource::Kind::WebAddress:
            return FetchAddress(source, cancelled);
        case PlayerSource::Kind::None:
        case PlayerSource::Kind::PageFile:
            break;
    }
    PlayerFetchResult none;
    none.missing = true;
    none.error = "nothing to fetch";
    return none;
}

}  // namespace tessaro
