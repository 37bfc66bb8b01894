#pragma once

#include "formats/swf/MovieReader.h"
#include "scan/MovieNeeds.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string_view>

namespace tessaro {

// Where a movie was found.
struct TMovieSource {
    QString page;               // the page scanned
    QString cache;              // the cache folder given
    QString browser;            // whose cache held it
    QString archive;            // the web archive that recorded it
    std::int64_t captured = 0;  // when the cache wrote it, seconds since 1970; 0: unknown
    QString file;               // the movie file read (a cached movie's check-out)
};

// Everything known of one movie; what is not known stays empty and is left
// out of its line.
struct TMovieFacts {
    QString input;                          // the input it came from, as given
    QString url;                            // its address
    std::optional<std::string_view> bytes;  // the whole movie, when read
    std::optional<TMovieDetails> details;
    // The files it names, as addresses, each with whether it was found.
    QList<TNeededFile> needs;
    QString foundBy;  // "page", "movie"
    TMovieSource source;
    // The file a save takes its bytes from (a cached movie's check-out, also
    // one the run removes at its end); not part of its line.
    QString localCopy;
};

// The movie's line: url, size, sha256, found_by, the details (version,
// width, height, frame_rate, frames, as3), source, and needs: each file's
// address with whether it was found.
QJsonObject MovieRecord(const TMovieFacts& facts);

// What reading gave, as facts: details, and the files it names, resolved
// against the movie's own address (a local file's: against the file).
void AddReading(TMovieFacts& facts, const TMovieReading& reading);

}  // namespace tessaro
