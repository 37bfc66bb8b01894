#include "platform/player/PlayerAddresses.h"

#include <QDir>

namespace tessaro {

namespace {

const QStringList kPageFiles = {QStringLiteral("player.html"), QStringLiteral("fetch-shim.js"),
                                QStringLiteral("player.js")};

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

QString OriginOf(const QUrl& url)
{
    QString origin = url.scheme() + QStringLiteral("://") + url.host(QUrl::FullyEncoded);
    if (url.port() != -1)
        origin += QLatin1Char(':') + QString::number(url.port());
    return origin;
}

}  // namespace

PlayerAddresses::PlayerAddresses() = default;

QUrl PlayerAddresses::PageUrl()
{
    return SchemeUrl(QString::fromLatin1(kPlayerHost), QStringLiteral("/player.html"));
}

QString PlayerAddresses::SiteHost(const QString& origin)
{
    const auto known = hostOfOrigin_.constFind(origin);
    if (known != hostOfOrigin_.cend())
        return *known;
    origins_.append(origin);
    const QString host = QStringLiteral("site%1").arg(origins_.size());
    hostOfOrigin_.insert(origin, host);
    return host;
}

PlayerMovieAddress PlayerAddresses::ForMovie(const QString& movie)
{
    PlayerMovieAddress address;
    QString localPath;
    if (movie.startsWith(QLatin1Char('/'))) {
        localPath = movie;
    } else {
        const QUrl given(movie);
        const QString scheme = given.scheme().toLower();
        if (scheme == QLatin1String("file") && given.isValid()) {
            localPath = given.toLocalFile();
        } else if ((scheme == QLatin1String("http") || scheme == QLatin1String("https")) && given.isValid() &&
                   !given.host().isEmpty()) {
            const QString origin = OriginOf(given);
            const QString host = SiteHost(origin);
            QString path = given.path(QUrl::FullyEncoded);
            if (path.isEmpty())
                path = QStringLiteral("/");
            QUrl url = QUrl(QString::fromLatin1(kPlayerScheme) + QStringLiteral("://") + host + path);
            if (given.hasQuery())
                url.setQuery(given.query(QUrl::FullyEncoded), QUrl::StrictMode);
            address.url = url;
            address.base = QUrl(QString::fromLatin1(kPlayerScheme) + QStringLiteral("://") + host + FolderOf(path));
            address.siteOrigin = origin;
            address.siteRoot =
                QUrl(QString::fromLatin1(kPlayerScheme) + QStringLiteral("://") + host + QLatin1Char('/'));
            return address;
        }
    }
    if (localPath.isEmpty()) {
        // Neither a file nor a web address: the player gets the text and fails
        // the way it fails for anything it cannot load.
        address.url = QUrl(movie);
        return address;
    }
    address.url = SchemeUrl(QString::fromLatin1(kLocalHost), localPath);
    address.base = SchemeUrl(QString::fromLatin1(kLocalHost), FolderOf(localPath));
    return address;
}

PlayerSource PlayerAddresses::Resolve(const QUrl& request) const
{
    PlayerSource source;
    if (request.scheme() != QLatin1String(kPlayerScheme))
        return source;
    const QString host = request.host();
    if (host == QLatin1String(kPlayerHost)) {
        const QString path = request.path();
        const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        if (path == QLatin1Char('/') + name && kPageFiles.contains(name)) {
            source = {PlayerSource::Kind::PageFile, QStringLiteral(":/tessaro/player/") + name};
        } else if (path == QStringLiteral("/ruffle/") + name && !name.isEmpty() && !name.startsWith(QLatin1Char('.'))) {
            source = {PlayerSource::Kind::RuffleFile, name};
        }
    } else if (host == QLatin1String(kLocalHost)) {
        const QString path = QDir::cleanPath(request.path());
        if (path.startsWith(QLatin1Char('/')) && path.size() > 1)
            source = {PlayerSource::Kind::LocalFile, path};
    } else if (host.startsWith(QLatin1String("site"))) {
        bool number = false;
        const qsizetype index = host.mid(4).toLongLong(&number);
        if (number && index >= 1 && index <= origins_.size() && host == QStringLiteral("site%1").arg(index)) {
            QString address = origins_.at(index - 1) + request.path(QUrl::FullyEncoded);
            if (request.hasQuery())
                address += QLatin1Char('?') + request.query(QUrl::FullyEncoded);
            source = {PlayerSource::Kind::WebAddress, address};
        }
    }
    return source;
}

}  // namespace tessaro
