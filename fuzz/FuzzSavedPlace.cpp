// Turns arbitrary text, as a movie names a file, into the place its saved copy
// takes, and checks that the place stays inside the chosen folder: relative,
// no part "." or "..", none empty or over the file system's length, no
// control character, no more parts than the bound.

#include "download/SavedLayout.h"
#include "platform/http/HttpRequest.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QUrl base(QStringLiteral("http://site.example/g/loader.swf"));
    for (const QUrl& url : {tessaro::HttpAddress(text), base.resolved(QUrl(text))}) {
        const std::optional<QString> place = tessaro::SavedPlace(url);
        if (!place)
            continue;
        if (place->startsWith(QLatin1Char('/')))
            __builtin_trap();
        const QStringList parts = place->split(QLatin1Char('/'));
        if (parts.size() > tessaro::kMaxSavedPathParts + 1)
            __builtin_trap();
        for (const QString& part : parts) {
            if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..") ||
                part.toUtf8().size() > tessaro::kMaxSavedPartBytes)
                __builtin_trap();
            for (const QChar c : part)
                if (c.unicode() < 0x20 || c == QChar(0x7f) || c == u'\\')
                    __builtin_trap();
        }
    }
    return 0;
}
