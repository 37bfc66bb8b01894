#include "cache/CachedMovieDetails.h"

#include <QDateTime>
#include <QStringList>

#include <fstream>

#include "platform/swf/MovieReader.h"

namespace tessaro {

std::string CachedMovieDetails(const UrlCacheEntry& entry)
{
    QStringList lines;
    std::ifstream file(entry.localFileName, std::ios::binary);
    std::string head(kMovieDetailsFileBytes, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, file.gcount())));
    const TMovieReading reading = ReadMovieDetails(head);
    if (reading.result != MovieReadResult::NotAMovie && reading.details.version > 0)
        lines << DescribeMovie(reading.details);
    if (!entry.url.empty())
        lines << QStringLiteral("From %1").arg(QString::fromStdString(entry.url));
    if (!entry.browser.empty() && entry.time > 0)
        lines << QStringLiteral("Cached by %1 on %2")
                     .arg(QString::fromStdString(entry.browser),
                          QDateTime::fromSecsSinceEpoch(entry.time).toString(QStringLiteral("yyyy-MM-dd hh:mm")));
    else if (!entry.browser.empty())
        lines << QStringLiteral("Cached by %1").arg(QString::fromStdString(entry.browser));
    return lines.join(QLatin1Char('\n')).toStdString();
}

}  // namespace tessaro
