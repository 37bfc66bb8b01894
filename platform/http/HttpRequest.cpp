#include "platform/http/HttpRequest.h"

#include <QLatin1StringView>

namespace tessaro {

namespace {

bool IsControlCharacter(QChar c)
{
    const char16_t unit = c.unicode();
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
}

bool IsHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

}  // namespace

QUrl HttpAddress(QStringView text)
{
    // QUrl's tolerant mode takes one stray "%" for a sign that nothing in the
    // text is escaped and escapes every "%" again ("%2F" would reach the
    // server as "%252F"): the stray ones are escaped here, one by one.
    QString escaped;
    escaped.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (IsControlCharacter(c))
            return {};
        const bool stray = c == u'%' && (i + 2 >= text.size() || !IsHexDigit(text[i + 1]) || !IsHexDigit(text[i + 2]));
        if (stray)
            escaped += QStringView(u"%25");
        else
            escaped += c;
    }
    return QUrl(escaped, QUrl::TolerantMode);
}

std::string WireAddress(const QUrl& address)
{
    const QString scheme = address.scheme();
    if (!address.isValid() || address.host().isEmpty() ||
        (scheme != QLatin1StringView("http") && scheme != QLatin1StringView("https")))
        return {};
    return address.adjusted(QUrl::RemoveFragment).toEncoded().toStdString();
}

}  // namespace tessaro
