#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace tessaro {

inline constexpr qsizetype kMaxPageRows = 10000;

// Where the player of each movie row resolves the movie's own loads, by the
// row's address: the element's base when it names one ("." is the movie's
// own folder), else the base of the document the element stands in.
using TPlayerBases = QHash<QString, QString>;

// Adds the movies one scan finds to the main window's FoundMovies: each
// reference made absolute against the address of the document it stands in,
// and appended only when no entry equal to it ignoring case is there, so the
// spelling found first stays.
class TFoundMovies {
public:
    // Takes the list as it is; the scan clears it before it starts.
    explicit TFoundMovies(QStringList& list);

    // The row the reference names: the one added, or the one that was there.
    QString Add(const QString& pageAddress, const QString& reference);

private:
    QStringList& list_;
    QHash<QString, QString> folded_;  // case-folded entries to the entries, for a lookup per add
};

}  // namespace tessaro
