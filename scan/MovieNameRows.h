#pragma once

#include "scan/FoundMovies.h"

#include <QString>
#include <QStringList>

namespace tessaro {

// What a read movie's names add to the list of a page.
struct TNamedRows {
    QStringList added;  // the rows added, in the order of their names
    bool full = false;  // a name was left out: the list holds kMaxPageRows
};

// The names a read movie yields, each resolved against base (the player's
// base of the movie's row) with its blanks encoded as a page's are, added
// through found to rows (the list found appends to) when no row equal to it
// ignoring case is there, until rows holds kMaxPageRows.
TNamedRows AddNamedMovies(const QStringList& names, const QString& base, TFoundMovies& found, const TMovieRows& rows);

}  // namespace tessaro
