#include "scan/MovieReferences.h"
#include "scan/ScanDocument.h"

namespace tessaro {

namespace {

void AddFlashVars(const QString& base, const QString& flashVars, TFoundMovies& found)
{
    for (const QString& movie : MoviesInFlashVars(flashVars))
        found.Add(base, movie);
}

// A movie's query reaches it as variables, as flashvars do (a container
// movie told which movie to load).
void AddMovie(const QString& base, const QString& movie, TFoundMovies& found)
{
    if (movie.trimmed().isEmpty())
        return;
    found.Add(base, movie);
    const qsizetype query = movie.indexOf(QLatin1Char('?'));
    if (query >= 0)
        AddFlashVars(base, movie.mid(query + 1).section(QLatin1Char('#'), 0, 0), found);
}

void ScanFlashObjects(const QString& base, const std::vector<THtmlObjectElement>& objects, TFoundMovies& found)
{
    for (const THtmlObjectElement& object : objects) {
        // An object without class id or type plays what its name says.
        if (!object.hostsFlash && !(object.untyped && IsMovieAddress(object.Movie.trimmed())))
            continue;
        AddMovie(base, object.Movie, found);
        AddFlashVars(base, object.flashVars, found);
    }
}

// markup: embeds written in <noscript>, which no described scanner saw, so
// the described test on src counts too.
void ScanFlashEmbeds(const QString& base, const std::vector<THtmlEmbedElement>& embeds, bool markup,
                     TFoundMovies& found)
{
    for (const THtmlEmbedElement& embed : embeds) {
        const bool flash =
            IsFlashType(embed.type) || (markup && embed.src.contains(QLatin1String(".swf"), Qt::CaseInsensitive));
        if (!flash)
            continue;
        AddMovie(base, embed.src, found);
        AddFlashVars(base, embed.flashVars, found);
    }
}

void ScanScriptStrings(const QString& base, const QString& text, TFoundMovies& found)
{
    for (const QString& string : QuotedScriptStrings(text)) {
        // Blanks around a name are trimmed; a text with blanks inside is
        // prose, not an address, and IsMovieAddress says so.
        QStringView candidate = string;
        while (candidate.startsWith(QLatin1Char(' ')))
            candidate = candidate.mid(1);
        while (candidate.endsWith(QLatin1Char(' ')))
            candidate.chop(1);
        if (IsMovieAddress(candidate.toString()))
            found.Add(base, candidate.toString());
    }
}

void ScanThoroughElements(const THtmlDocument& document, TFoundMovies& found)
{
    const QString& base = document.BaseAddress();
    ScanFlashObjects(base, document.applets, found);
    ScanFlashEmbeds(base, document.embeds, false, found);
    ScanFlashObjects(base, document.noscriptObjects, found);
    ScanFlashEmbeds(base, document.noscriptEmbeds, true, found);
    for (const THtmlScriptElement& script : document.scripts) {
        ScanScriptStrings(base, script.text, found);
        ScanScriptStrings(base, script.loadedText, found);
    }
    for (const auto* addresses : {&document.frameSources, &document.links}) {
        for (const QString& address : *addresses) {
            if (IsMovieAddress(address.trimmed()))
                found.Add(base, address.trimmed());
        }
    }
}

void ScanThoroughFrames(const THtmlDocument& document, TFoundMovies& found)
{
    for (const THtmlDocument& frame : document.frames) {
        ScanThoroughElements(frame, found);
        ScanThoroughFrames(frame, found);
    }
}

}  // namespace

void ScanDocumentThorough(const THtmlDocument* document, TFoundMovies& found)
{
    if (document == nullptr)
        return;
    ScanThoroughElements(*document, found);
    ScanThoroughFrames(*document, found);
}

}  // namespace tessaro
