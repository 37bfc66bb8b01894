#pragma once

#include "find/FindOutput.h"
#include "find/MovieRecord.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>

namespace tessaro {

// `movie FILE|URL`: reads one movie, a local file or a web address, and
// writes its line; what cannot be read, or is damaged, is an error line.
void FindMovie(const QString& input, TFindOutput& output);

// What one movie gives the output: its line, and the errors said of it.
// Made on any thread; written, in order, by the thread that writes.
struct TMovieLines {
    QString input;
    std::optional<QJsonObject> record;
    QString localCopy;
    QStringList errors;
};

// Reads the movie in bytes into its line; a damaged movie also gets an
// error. Shared by the movies read from caches, on their reading threads.
TMovieLines ReadMovieLines(TMovieFacts facts, const std::string& bytes);
void WriteMovieLines(const TMovieLines& lines, TFindOutput& output);
void WriteMovieRead(TMovieFacts facts, const std::string& bytes, TFindOutput& output);

}  // namespace tessaro
