#pragma once

#include <QHash>
#include <QString>
#include <QUrl>

#include <optional>

namespace tessaro {

// Bounds of a saved file's place: the parts of its path and the bytes of
// each part (the file system's own limit).
inline constexpr int kMaxSavedPathParts = 32;
inline constexpr int kMaxSavedPartBytes = 255;
// Other names tried for one place ("name.1.ext", ...) before the file fails.
inline constexpr int kMaxSavedNameTries = 64;

// Where a file from url goes below the chosen folder, so that a movie's
// relative loads find their files: "<host>[_<port>]/<path>", the query and
// fragment left out. A part of the path is decoded as a server does, and
// made a safe file name: no control character, no "/", never "." or ".."
// (dot segments are resolved first, as the player resolves them, never
// above the host),
// at most kMaxSavedPartBytes bytes. A path ending in "/" names "index.html".
// A local file's address gives "local/<its name>". Nothing when the address
// gives no place (no host, too many parts).
std::optional<QString> SavedPlace(const QUrl& url);

// The places one save has given, so that two addresses whose bytes differ
// never share a file: the second gets "name.1.ext", and so on.
class TSavedLayout {
public:
    // The place for a file of these bytes (their SHA-256, hex): place itself
    // when free or already holding the same bytes, else the first free
    // numbered form; nothing when kMaxSavedNameTries are taken.
    std::optional<QString> Claim(const QString& place, const QString& sha256);

private:
    QHash<QString, QString> taken_;  // place -> SHA-256 of its bytes
};

// "name.N.ext" of "dir/name.ext" ("dir/name.N" without an extension).
QString NumberedPlace(const QString& place, int number);

}  // namespace tessaro
