#include "download/SavedLayout.h"

#include <QStringList>

namespace tessaro {

namespace {

// One part of a path as a file name of its own.
QString SafePart(const QString& decoded)
{
    QString part;
    part.reserve(decoded.size());
    for (const QChar c : decoded) {
        const char16_t u = c.unicode();
        const bool control = u < 0x20 || (u >= 0x7F && u <= 0x9F);
        part += control || c == u'/' || c == u'\\' ? QChar(u'_') : c;
    }
    if (part == QLatin1String(".") || part == QLatin1String(".."))
        part.replace(QLatin1Char('.'), QLatin1Char('_'));
    // Cut at a whole character, keeping the part within the system's bound.
    while (part.toUtf8().size() > kMaxSavedPartBytes)
        part.chop(part.size() > 1 && part.back().isLowSurrogate() ? 2 : 1);
    return part;
}

}  // namespace

std::optional<QString> SavedPlace(const QUrl& url)
{
    QStringList parts;
    if (url.isLocalFile()) {
        parts << QStringLiteral("local") << SafePart(url.fileName());
    } else {
        const QString host = url.host();
        if (host.isEmpty())
            return std::nullopt;
        parts << SafePart(url.port() >= 0 ? host + QLatin1Char('_') + QString::number(url.port()) : host);
        const QString path = url.path(QUrl::FullyEncoded);
        // Dot segments go as the player's own resolution takes them, never above the host.
        for (const QString& piece : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            if (piece == QLatin1String(".."))
                parts.size() > 1 ? parts.removeLast() : void();
            else if (piece != QLatin1String("."))
                parts << SafePart(QUrl::fromPercentEncoding(piece.toUtf8()));
        }
        if (parts.size() == 1 || path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1String("/.")) ||
            path.endsWith(QLatin1String("/..")))
            parts << QStringLiteral("index.html");
    }
    if (parts.size() > kMaxSavedPathParts + 1 || parts.back().isEmpty())
        return std::nullopt;
    return parts.join(QLatin1Char('/'));
}

QString NumberedPlace(const QString& place, int number)
{
    const qsizetype slash = place.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = place.lastIndexOf(QLatin1Char('.'));
    const QString numbered = QStringLiteral(".") + QString::number(number);
    if (dot <= slash + 1)
        return place + numbered;
    return place.left(dot) + numbered + place.mid(dot);
}

std::optional<QString> TSavedLayout::Claim(const QString& place, const QString& sha256)
{
    for (int number = 0; number <= kMaxSavedNameTries; ++number) {
        const QString candidate = number == 0 ? place : NumberedPlace(place, number);
        const auto held = taken_.constFind(candidate);
        if (held == taken_.constEnd()) {
            taken_.insert(candidate, sha256);
            return candidate;
        }
        if (*held == sha256)
            return candidate;
    }
    return std::nullopt;
}

}  // namespace tessaro
