#include "scan/MovieNameRows.h"

#include "scan/MovieReferences.h"

namespace tessaro {

TNamedRows AddNamedMovies(const QStringList& names, const QString& base, TFoundMovies& found, const QStringList& rows)
{
    TNamedRows named;
    for (const QString& name : names) {
        if (rows.size() >= kMaxPageRows) {
            named.full = true;
            break;
        }
        const qsizetype before = rows.size();
        found.Add(base, EncodedSpaces(name));
        if (rows.size() != before)
            named.added.append(rows.last());
    }
    return named;
}

}  // namespace tessaro
