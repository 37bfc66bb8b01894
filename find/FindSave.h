#pragma once

#include "find/FindOutput.h"

#include <QString>

namespace tessaro {

// --save: the movies whose lines the output held are saved with everything
// they need into folder, as "Save With Everything It Needs..." saves checked
// rows (the same layout and manifest); each line then gets the manifest's
// file, status and reason, and is written. A movie's bytes come from its
// local file when its line names one (a cache's check-out, a movie file),
// else from the web, reached as from reachPage (empty: no web, as on the
// cache page). Runs the save in the application's event loop.
void SaveHeldMovies(const QString& folder, const QString& reachPage, TFindOutput& output);

}  // namespace tessaro
