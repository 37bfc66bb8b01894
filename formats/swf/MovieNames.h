#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <limits>
#include <string_view>

namespace tessaro::swf {

// Bounds on what one read collects: longer strings are passed over (no
// address a real movie loads is that long), and collecting stops at the count
// (real loaders name a few dozen movies).
inline constexpr std::size_t kMaxMovieNameBytes = 2 * 1024;
inline constexpr qsizetype kMaxMovieNames = 256;

// Whether a string of a movie names a movie, by the rule script strings of a
// page follow: blanks at either end set aside, no "'" in it, and with A to Z
// lowered and cut at its first "?", it ends in ".swf".
bool NamesMovie(std::string_view text);

// Whether a string of a movie names another file a movie loads at run time
// (data, text, images, sound, video, component libraries), by the same rule
// with one of those extensions in place of ".swf", and something before it.
bool NamesNeededFile(std::string_view text);

// Whether a string a load is handed can be an address of a file: not blank,
// no control character or "'", not a script, mail or command link.
bool IsLoadAddress(std::string_view text);

// Collects the strings that name a movie, and into files, when given, those
// that name another file a movie loads; each once, in the order they come,
// at most kMaxMovieNames of each. Every string offered counts its bytes
// against the budget; once an offer would pass it, nothing more is taken and
// the readers stop.
class TMovieNames {
public:
    explicit TMovieNames(QStringList& names, std::size_t budget = std::numeric_limits<std::size_t>::max(),
                         QStringList* files = nullptr)
        : names_(names), files_(files), budget_(budget)
    {
    }

    // utf8: how the movie's version says its strings are written (from
    // version 6 UTF-8, before that the local code page, read as Latin-1).
    void Offer(std::string_view text, bool utf8);
    // A string the code hands to a load (getURL, loadVariables, a load
    // method, a URLRequest): a file it needs whatever its ending, unless it
    // is no address (a script or mail link, blank, a control character).
    void OfferAddress(std::string_view text, bool utf8);

    bool Exhausted() const { return exhausted_; }
    std::size_t OfferedBytes() const { return offered_; }

private:
    // Counts text against the budget; false once it is spent.
    bool Spend(std::string_view text);
    void Take(std::string_view text, bool utf8, QStringList& into);

    QStringList& names_;
    QStringList* files_;
    QSet<QString> seen_;
    std::size_t budget_;
    std::size_t offered_ = 0;
    bool exhausted_ = false;
};

}  // namespace tessaro::swf
