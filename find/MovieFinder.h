#pragma once

#include "find/FindOutput.h"
#include "find/MovieRecord.h"

#include <QString>

#include <string>

namespace tessaro {

// `movie FILE|URL`: reads one movie, a local file or a web address, and
// writes its line; what cannot be read, or is damaged, is an error line.
void FindMovie(const QString& input, TFindOutput& output);

// Reads the movie in bytes into its line; a damaged movie also gets an
// error line. Shared by the movies read from caches.
void WriteMovieRead(TMovieFacts facts, const std::string& bytes, TFindOutput& output);

}  // namespace tessaro
