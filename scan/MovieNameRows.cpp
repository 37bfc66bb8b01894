#include "scan/MovieNameRows.h"

#include "scan/MovieReferences.h"

namespace tessaro {

TNamedRows AddNamedMovies(const QStringList& names, const QString& base, TFoundMovies& found, const TMovieRows& rows)
{
    TNamedRows named;
    for (const QString& name : names) {
        if (rows.Size() >= kMaxPageRows) {
            named.full = true;
            break;
        }
        const qsizetype before = rows.Size();
        found.Add(base, EncodedSpaces(name));
        if (rows.Size() != before)
            named.added.append(rows.At(before).address);
    }
    return named;
}

}  // namespace tessaro
