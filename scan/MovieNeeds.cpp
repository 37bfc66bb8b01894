#include "scan/MovieNeeds.h"

#include "platform/http/HttpRequest.h"
#include "scan/MovieReferences.h"
#include "scan/MovieRows.h"

#include <QSet>

namespace tessaro {

namespace {

bool IsLoadableScheme(const QUrl& url)
{
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("file");
}

}  // namespace

const char* FoundByName(TFoundBy foundBy)
{
    switch (foundBy) {
        case TFoundBy::Page:
            return "page";
        case TFoundBy::Movie:
            return "movie";
        case TFoundBy::Player:
            return "player";
    }
    return "movie";
}

QList<TNeededFile> NeededFiles(const QStringList& movieNames, const QStringList& fileNames, const QString& base)
{
    QList<TNeededFile> needs;
    QSet<QString> seen;
    for (const QStringList* names : {&movieNames, &fileNames}) {
        for (const QString& name : *names) {
            if (needs.size() >= kMaxRowNeeds)
                return needs;
            const QString address = ResolvedAddress(base, EncodedSpaces(name));
            if (address.isEmpty() || address.size() > kMaxRowAddress)
                continue;
            const QUrl url =
                address.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) ? QUrl(address) : HttpAddress(address);
            if (!url.isValid() || !IsLoadableScheme(url) || seen.contains(address.toCaseFolded()))
                continue;
            seen.insert(address.toCaseFolded());
            needs.append({address, url, TFoundBy::Movie, TNeedState::Unknown});
        }
    }
    return needs;
}

bool AddNeededFiles(QList<TNeededFile>& needs, const QList<TNeededFile>& more)
{
    QSet<QString> held;
    for (const TNeededFile& need : needs)
        held.insert(need.address.toCaseFolded());
    bool added = false;
    for (const TNeededFile& need : more) {
        if (needs.size() >= kMaxRowNeeds)
            break;
        if (held.contains(need.address.toCaseFolded()))
            continue;
        held.insert(need.address.toCaseFolded());
        needs.append(need);
        added = true;
    }
    return added;
}

QString NeedsLine(const QList<TNeededFile>& needs)
{
    if (needs.isEmpty())
        return {};
    qsizetype missing = 0;
    for (const TNeededFile& need : needs)
        missing += need.state == TNeedState::Missing ? 1 : 0;
    return QStringLiteral("Needs %1 files, %2 missing").arg(needs.size()).arg(missing);
}

}  // namespace tessaro
