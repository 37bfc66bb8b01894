#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace tessaro {

// Text rules that tell where a page names a Flash movie.

// EncodeSpaces on a text of the page.
QString EncodedSpaces(const QString& text);

// ResolveAddress for Qt's strings.
QString ResolvedAddress(const QString& pageAddress, const QString& reference);

// A type attribute naming the Flash player (parameters after ";" allowed).
bool IsFlashType(const QString& type);

// A script string's text with its escapes undone as a script engine reads
// them: \/ \' \" \\, \n and the other letters, \xNN, \uNNNN, \u{N...}, and
// line continuations. A backslash that starts no escape stands for the
// character after it. examined, when given, grows by the characters looked
// at: the work, in proportion to the text.
QString UndoScriptEscapes(QStringView text, qsizetype* examined = nullptr);

// The strings a script writes between single or double quotes, escapes
// undone, in order. A string ends at its closing quote; one that reaches
// the end of its line is not a string (an apostrophe in a comment).
// examined as for UndoScriptEscapes.
QStringList QuotedScriptStrings(QStringView script, qsizetype* examined = nullptr);

// Whether a candidate found by the thorough scan, its blanks already encoded,
// names a movie: cut at its query or fragment, a path whose file name ends in
// ".swf" in any case and is more than that; nothing that cannot stand in an
// address.
bool IsMovieAddress(const QString& candidate);

// The values of a flashvars text ("movie=clips/intro.swf&autoplay=1")
// that name a movie, percent-decoded, in order.
QStringList MoviesInFlashVars(const QString& flashVars);

}  // namespace tessaro
