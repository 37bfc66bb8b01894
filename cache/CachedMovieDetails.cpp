#include "cache/CachedMovieDetails.h"

#include "formats/swf/MovieReader.h"
#include "platform/core/RegularFile.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>

#include <filesystem>

namespace tessaro {

namespace {

// A cache key is whatever the page asked for: controls and the marks that
// reorder text are shown as U+FFFD, never acted on by the tooltip.
QString AsText(const std::string& utf8)
{
    QString text = QString::fromStdString(utf8);
    for (QChar& c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Other_Format || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

}  // namespace

std::string CachedMovieDetails(const UrlCacheEntry& entry)
{
    QStringList lines;
    std::string head;
    const RegularFileResult read = ReadRegularFile(entry.localFileName, kMovieDetailsFileBytes, head);
    if (read == RegularFileResult::Ok || read == RegularFileResult::TooLarge) {
        const TMovieReading reading = ReadMovieDetails(head);
        if (reading.result != MovieReadResult::NotAMovie && reading.details.version > 0)
            lines << DescribeMovie(reading.details);
    }
    if (!entry.url.empty())
        lines << QStringLiteral("From %1").arg(AsText(entry.url));
    if (!entry.archive.empty() && entry.time > 0)
        lines << QStringLiteral("Recorded in %1 on %2 UTC")
                     .arg(AsText(std::filesystem::path(entry.archive).filename().string()),
                          QDateTime::fromSecsSinceEpoch(entry.time, QTimeZone::utc())
                              .toString(QStringLiteral("yyyy-MM-dd hh:mm")));
    else if (!entry.archive.empty())
        lines << QStringLiteral("Recorded in %1").arg(AsText(std::filesystem::path(entry.archive).filename().string()));
    else if (!entry.browser.empty() && entry.time > 0)
        lines << QStringLiteral("Cached by %1 on %2")
                     .arg(QString::fromStdString(entry.browser),
                          QDateTime::fromSecsSinceEpoch(entry.time).toString(QStringLiteral("yyyy-MM-dd hh:mm")));
    else if (!entry.browser.empty())
        lines << QStringLiteral("Cached by %1").arg(QString::fromStdString(entry.browser));
    return lines.join(QLatin1Char('\n')).toStdString();
}

}  // namespace tessaro
