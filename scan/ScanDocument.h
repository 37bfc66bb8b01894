#pragma once

#include "scan/Document.h"
#include "scan/FoundMovies.h"

#include <QString>

#include <vector>

namespace tessaro {

// The domain that Flash objects name in their codebase (the player's
// download address).
inline const QString VendorDomain = QStringLiteral("macromedia.com");

// The walk over a page for Flash references, depth first: a document's own
// elements, then each frame's elements followed by its own frames.

// Scans the top document (nothing when it is null) and its frames.
void ScanDocument(const THtmlDocument* document, TFoundMovies& found);
// Scans the frame documents of a document, recursively.
void ScanFrames(const THtmlDocument& document, TFoundMovies& found);
// Runs the three scanners on one document, against its own base address.
void ScanDocumentElements(const THtmlDocument* document, TFoundMovies& found);

// Objects whose codebase names VendorDomain: the movie of their Flash control.
void ScanObjects(const QString& pageAddress, const std::vector<THtmlObjectElement>& applets, TFoundMovies& found);
// Embeds whose src contains ".swf" anywhere.
void ScanEmbeds(const QString& pageAddress, const std::vector<THtmlEmbedElement>& embeds, TFoundMovies& found);
// Double-quoted strings in script text that name a ".swf" file.
void ScanScripts(const QString& pageAddress, const std::vector<THtmlScriptElement>& scripts, TFoundMovies& found);

// The thorough scan, run after the described one over the same page: in the
// same depth-first order, per document every object hosting the Flash player
// whatever its codebase, every embed of the Flash type, the object and embed
// markup inside <noscript>, movies named in flashvars, and movie addresses
// in single- or double-quoted script strings, of inline scripts and of the
// external script files the document loaded.
//
// What only text names (script strings, flashvars, the noscript markup) is
// added as a guess (TFoundMovies::Guess).
//
// playerBases, when given, takes the bases of the movies of objects and
// embeds (see TPlayerBases); the first element of a movie decides.
void ScanDocumentThorough(const THtmlDocument* document, TFoundMovies& found, TPlayerBases* playerBases = nullptr);

}  // namespace tessaro
