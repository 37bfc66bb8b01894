#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace tessaro {

// Adds the movies one scan finds to the main window's FoundMovies: each
// reference made absolute against the address of the document it stands in,
// and appended only when no entry equal to it ignoring case is there, so the
// spelling found first stays.
class TFoundMovies {
public:
    // Takes the list as it is; the scan clears it before it starts.
    explicit TFoundMovies(QStringList& list);

    void Add(const QString& pageAddress, const QString& reference);

private:
    QStringList& list_;
    QSet<QString> folded_;  // case-folded entries, for a lookup per add
};

}  // namespace tessaro
