#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <string_view>

namespace tessaro::swf {

// Bounds on what one read collects: longer strings are passed over (no
// address is that long), and collecting stops at the count.
inline constexpr std::size_t kMaxMovieNameBytes = 8 * 1024;
inline constexpr qsizetype kMaxMovieNames = 4096;

// Whether a string of a movie names a movie, by the rule script strings of a
// page follow: blanks at either end set aside, no "'" in it, and with A to Z
// lowered and cut at its first "?", it ends in ".swf".
bool NamesMovie(std::string_view text);

// Collects the strings that name a movie, each once, in the order they come.
class TMovieNames {
public:
    explicit TMovieNames(QStringList& names) : names_(names) {}

    // utf8: how the movie's version says its strings are written (from
    // version 6 UTF-8, before that the local code page, read as Latin-1).
    void Offer(std::string_view text, bool utf8);

private:
    QStringList& names_;
    QSet<QString> seen_;
};

}  // namespace tessaro::swf
