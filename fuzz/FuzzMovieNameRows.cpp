// Feeds the names-to-rows step of the movie reading: the first line is the
// base of the movie's row, each further line a name the movie yielded. A
// first byte '!' starts from a list a few rows short of the page's bound.

#include "scan/FoundMovies.h"
#include "scan/MovieNameRows.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {

constexpr qsizetype kRowsShortOfTheBound = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    tessaro::TMovieRows rows;
    if (text.startsWith(QLatin1Char('!'))) {
        text.remove(0, 1);
        for (qsizetype i = 0; i < tessaro::kMaxPageRows - kRowsShortOfTheBound; ++i)
            rows.Append(tessaro::WebMovieRow(QStringLiteral("http://page.test/m%1.swf").arg(i)));
    }
    QStringList names = text.split(QLatin1Char('\n'));
    const QString base = names.takeFirst();
    tessaro::TFoundMovies found(rows);
    const qsizetype before = rows.Size();
    const tessaro::TNamedRows named = tessaro::AddNamedMovies(names, base, found, rows);

    const QStringList addresses = rows.Addresses();
    if (rows.Size() > tessaro::kMaxPageRows || rows.Size() != before + named.added.size() ||
        addresses.mid(before) != named.added || (named.full && rows.Size() != tessaro::kMaxPageRows))
        __builtin_trap();
    QSet<QString> folded;
    for (const QString& row : addresses)
        folded.insert(row.toCaseFolded());
    if (folded.size() != rows.Size())
        __builtin_trap();  // each row once, ignoring case
    return 0;
}
