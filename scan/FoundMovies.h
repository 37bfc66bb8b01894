#pragma once

#include "scan/AddressRules.h"
#include "scan/MovieRows.h"

#include <QHash>
#include <QString>
#include <QStringView>

#include <optional>

namespace tessaro {

// Where the player of each movie row resolves the movie's own loads, by the
// row's address: the element's base when it names one ("." is the movie's
// own folder), else the base of the document the element stands in.
using TPlayerBases = QHash<QString, QString>;

// Whether a text holds a control character (below U+0020, U+007F to U+009F):
// a name from a page or a movie that does is no address of a movie, whatever
// it seems to name.
bool HoldsControlCharacter(QStringView text);

// Adds the movies one scan finds to the rows of a page: each reference made
// absolute against the address of the document it stands in, and appended
// only when no row equal to it ignoring case is there, so the spelling found
// first stays.
class TFoundMovies {
public:
    // Takes the rows as they are: a page scan starts from none, a scan of
    // what the page added from those listed. The rows it adds were found in
    // foundIn.
    explicit TFoundMovies(TMovieRows& rows, TFoundIn foundIn = TFoundIn::Page);

    // The row the reference names: the one added, or the one that was there.
    // Nothing when it is not listed: its address holds a control character
    // or is longer than kMaxRowAddress, or the list holds kMaxPageRows.
    // A row found so is no guess, whatever found it before.
    std::optional<QString> Add(const QString& pageAddress, const QString& reference);
    // As Add, for a reference only text names: a row it adds is a guess.
    std::optional<QString> Guess(const QString& pageAddress, const QString& reference);

    // Whether a reference was refused because the list was full.
    bool Full() const { return full_; }

private:
    std::optional<QString> Take(const QString& pageAddress, const QString& reference, bool guess);

    TMovieRows& rows_;
    const TFoundIn foundIn_;
    bool full_ = false;
    // The last page address references were resolved against, split once:
    // a long one then costs nothing per reference.
    QString page_;
    std::optional<TPageAddress> base_;
};

}  // namespace tessaro
