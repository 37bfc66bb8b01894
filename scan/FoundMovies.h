#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

#include "scan/AddressRules.h"

namespace tessaro {

// Rows of one page, its frames and the movies read from it, together.
inline constexpr qsizetype kMaxPageRows = 10000;
// UTF-16 units of one row's address; a longer one is no movie's address,
// and would make rows cost what a hostile page likes.
inline constexpr qsizetype kMaxRowAddress = 8 * 1024;

// Where the player of each movie row resolves the movie's own loads, by the
// row's address: the element's base when it names one ("." is the movie's
// own folder), else the base of the document the element stands in.
using TPlayerBases = QHash<QString, QString>;

// Whether a text holds a control character (below U+0020, U+007F to U+009F):
// a name from a page or a movie that does is no address of a movie, whatever
// it seems to name.
bool HoldsControlCharacter(QStringView text);

// The rows of a list that only text named (a script string, flashvars, a
// noscript fallback), by their address as listed: guesses, which may name
// nothing that exists.
using TGuessedRows = QSet<QString>;

// Adds the movies one scan finds to the main window's FoundMovies: each
// reference made absolute against the address of the document it stands in,
// and appended only when no entry equal to it ignoring case is there, so the
// spelling found first stays.
class TFoundMovies {
public:
    // Takes the list as it is; the scan clears it before it starts. guessed,
    // when given, holds the list's guesses and is kept up to date.
    explicit TFoundMovies(QStringList& list, TGuessedRows* guessed = nullptr);

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

    QStringList& list_;
    TGuessedRows* guessed_;
    QHash<QString, QString> folded_;  // case-folded entries to the entries, for a lookup per add
    bool full_ = false;
    // The last page address references were resolved against, split once:
    // a long one then costs nothing per reference.
    QString page_;
    std::optional<TPageAddress> base_;
};

}  // namespace tessaro
