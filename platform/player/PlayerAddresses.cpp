#include "platform/player/PlayerAddresses.h"

#include "platform/http/HttpRequest.h"

#include <QRandomGenerator>
#include <QStringList>

namespace tessaro {

namespace {

const QStringList kPageFiles = {QStringLiteral("player.html"), QStringLiteral("player-config.js"),
                                QStringLiteral("fetch-shim.js"), QStringLiteral("player.js")};

QUrl SchemeUrl(const QString& host, const QString& decodedPath)
{
    QUrl url;
    url.setScheme(QString::fromLatin1(kPlayerScheme));
    url.setHost(host);
    url.setPath(decodedPath, QUrl::DecodedMode);
    return url;
}

// The folder part of a path, with its final "/".
QString FolderOf(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// A host nobody can guess: 128 bits from the system's random source.
QString FreshMovieHost()
{
    QRandomGenerator* random = QRandomGenerator::system();
    return QStringLiteral("m%1%2")
        .arg(random->generate64(), 16, 16, QLatin1Char('0'))
        .arg(random->generate64(), 16, 16, QLatin1Char('0'));
}

}  // namespace

QUrl PlayerMovieUrl(const QString& movie)
{
    if (movie.isEmpty())
        return {};
    if (movie.startsWith(QLatin1Char('/')))
        return QUrl::fromLocalFile(movie);
    return HttpAddress(movie);
}

QString WebOrigin(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) || url.host().isEmpty())
        return {};
    QString origin = scheme + QStringLiteral("://") + url.host(QUrl::FullyEncoded);
    if (url.host().contains(QLatin1Char(':')))
        origin = scheme + QStringLiteral("://[") + url.host(QUrl::FullyEncoded) + QLatin1Char(']');
    const int port = url.port(scheme == QLatin1String("https") ? 443 : 80);
    if (port != (scheme == QLatin1String("https") ? 443 : 80))
        origin += QLatin1Char(':') + QString::number(port);
    return origin;
}

PlayerAddresses::PlayerAddresses() = default;

QUrl PlayerAddresses::PageUrl()
{
    return SchemeUrl(QString::fromLatin1(kPlayerHost), QStringLiteral("/player.html"));
}

void PlayerAddresses::Forget()
{
    ++serial_;
    host_.clear();
    localPath_.clear();
    origin_.clear();
    page_.reset();
    pin_.reset();
}

PlayerMovieAddress PlayerAddresses::ForMovie(const QUrl& movie, std::shared_ptr<PageNetwork> page)
{
    Forget();
    PlayerMovieAddress address;
    const QString origin = movie.isValid() ? WebOrigin(movie) : QString();
    if (!origin.isEmpty()) {
        host_ = FreshMovieHost();
        origin_ = origin;
        page_ = std::move(page);
        pin_ = std::make_shared<HttpAddressPin>();
        QString path = movie.path(QUrl::FullyEncoded);
        if (path.isEmpty())
            path = QStringLiteral("/");
        const QString root = QString::fromLatin1(kPlayerScheme) + QStringLiteral("://") + host_;
        QUrl url(root + path);
        if (movie.hasQuery())
            url.setQuery(movie.query(QUrl::FullyEncoded), QUrl::StrictMode);
        address.url = url;
        address.base = QUrl(root + FolderOf(path));
        address.siteOrigin = origin;
        address.siteRoot = QUrl(root + QLatin1Char('/'));
        return address;
    }
    const bool file = movie.isValid() && movie.scheme().toLower() == QLatin1String("file");
    const QString localPath = file ? movie.toLocalFile() : QString();
    const QString name = localPath.mid(localPath.lastIndexOf(QLatin1Char('/')) + 1);
    if (localPath.isEmpty() || name.isEmpty()) {
        // Neither a file nor a web address: the player gets it as it is and
        // fails the way it fails for anything it cannot load.
        address.url = movie;
        return address;
    }
    host_ = FreshMovieHost();
    localPath_ = localPath;
    address.url = SchemeUrl(host_, QLatin1Char('/') + name);
    address.base = SchemeUrl(host_, QStringLiteral("/"));
    return address;
}

PlayerSource PlayerAddresses::Resolve(const QUrl& request) const
{
    PlayerSource source;
    if (request.scheme() != QLatin1String(kPlayerScheme))
        return source;
    const QString host = request.host();
    const QString path = request.path();
    if (host == QLatin1String(kPlayerHost)) {
        const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        if (path == QLatin1Char('/') + name && kPageFiles.contains(name)) {
            source = {
                PlayerSource::Kind::PageFile, QStringLiteral(":/tessaro/player/") + name, {}, 0, nullptr, nullptr};
        } else if (path == QStringLiteral("/ruffle/") + name && !name.isEmpty() && !name.startsWith(QLatin1Char('.'))) {
            source = {PlayerSource::Kind::RuffleFile, name, {}, 0, nullptr, nullptr};
        }
    } else if (!host_.isEmpty() && host == host_) {
        if (!localPath_.isEmpty()) {
            // The one file and nothing beside it.
            if (path == localPath_.mid(localPath_.lastIndexOf(QLatin1Char('/'))))
                source = {PlayerSource::Kind::LocalFile, localPath_, {}, serial_, nullptr, nullptr};
        } else {
            QString address = origin_ + (path.isEmpty() ? QStringLiteral("/") : request.path(QUrl::FullyEncoded));
            if (request.hasQuery())
                address += QLatin1Char('?') + request.query(QUrl::FullyEncoded);
            source = {PlayerSource::Kind::WebAddress, address, origin_, serial_, page_, pin_};
        }
    }
    return source;
}

}  // namespace tessaro
