#include "platform/browser/PageAddress.h"

#include "platform/core/LocalAddressText.h"

#include <QRegularExpression>

#include <stdexcept>

namespace tessaro {

std::optional<QUrl> PageAddressToLoad(const QString& text)
{
    // An address typed with its scheme is taken as written: guessing on a
    // broken one would load another host ("http://a b" became host "http").
    static const QRegularExpression withScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    const bool hasScheme = withScheme.match(text).hasMatch();
    const QUrl url = hasScheme ? QUrl(text) : QUrl::fromUserInput(text);
    if (NamesLocalFile(text.toStdString()) || url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0)
        return std::nullopt;
    const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    if (!url.isValid() || url.isEmpty() || (web && url.host().isEmpty()))
        throw std::runtime_error("Invalid address: " + text.toStdString());
    return url;
}

}  // namespace tessaro
