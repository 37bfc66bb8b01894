#include "scan/MovieReferences.h"
#include "scan/ScanDocument.h"

namespace tessaro {

namespace {

// Flashvars name what a player may load, not what it plays: guesses.
void AddFlashVars(const QString& base, const QString& flashVars, TFoundMovies& found)
{
    for (const QString& movie : MoviesInFlashVars(flashVars))
        found.Guess(base, movie);
}

// One document's scan: where its references resolve, the rows, and the
// players' bases when asked for.
struct TThoroughScan {
    const QString& base;
    TFoundMovies& found;
    TPlayerBases* playerBases;
};

// Where an element stands: in the page's markup, or in the text of a
// <noscript>, a fallback that no browser with scripts loads.
enum class TElementsIn { Markup, Noscript };

// A player's base: "." (or "./") is the movie's own folder, anything else is
// resolved as the document resolves its references.
QString PlayerBaseOf(const TThoroughScan& scan, const QString& movie, const QString& written)
{
    const QString base = written.trimmed();
    if (base.isEmpty())
        return scan.base;
    if (base == QLatin1String(".") || base == QLatin1String("./")) {
        const QString path = movie.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('#'), 0, 0);
        return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
    }
    return ResolvedAddress(scan.base, base);
}

// A movie's query reaches it as variables, as flashvars do (a container
// movie told which movie to load).
void AddMovie(const TThoroughScan& scan, const QString& movie, const QString& playerBase, TElementsIn in)
{
    if (movie.trimmed().isEmpty())
        return;
    // A movie that is not listed has no player; its variables are still
    // read, each a reference of its own.
    const std::optional<QString> address =
        in == TElementsIn::Markup ? scan.found.Add(scan.base, movie) : scan.found.Guess(scan.base, movie);
    if (address && scan.playerBases != nullptr && !scan.playerBases->contains(*address))
        scan.playerBases->insert(*address, PlayerBaseOf(scan, *address, playerBase));
    const qsizetype query = movie.indexOf(QLatin1Char('?'));
    if (query >= 0)
        AddFlashVars(scan.base, movie.mid(query + 1).section(QLatin1Char('#'), 0, 0), scan.found);
}

void ScanFlashObjects(const TThoroughScan& scan, const std::vector<THtmlObjectElement>& objects, TElementsIn in)
{
    for (const THtmlObjectElement& object : objects) {
        // An object without class id or type plays what its name says.
        if (!object.hostsFlash && !(object.untyped && IsMovieAddress(object.Movie.trimmed())))
            continue;
        AddMovie(scan, object.Movie, object.playerBase, in);
        AddFlashVars(scan.base, object.flashVars, scan.found);
    }
}

// Embeds of the Flash type, and those the described test on src takes. In
// <noscript> no described scanner saw them; elsewhere one without a
// type plays by its name, and its player's base and flashvars are still to
// be read.
void ScanFlashEmbeds(const TThoroughScan& scan, const std::vector<THtmlEmbedElement>& embeds, TElementsIn in)
{
    for (const THtmlEmbedElement& embed : embeds) {
        const bool named = embed.src.contains(QLatin1String(".swf"), Qt::CaseInsensitive);
        const bool flash =
            IsFlashType(embed.type) || (named && (in == TElementsIn::Noscript || embed.type.trimmed().isEmpty()));
        if (!flash)
            continue;
        AddMovie(scan, embed.src, embed.playerBase, in);
        AddFlashVars(scan.base, embed.flashVars, scan.found);
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
            found.Guess(base, candidate.toString());
    }
}

void ScanThoroughElements(const THtmlDocument& document, TFoundMovies& found, TPlayerBases* playerBases)
{
    const QString& base = document.BaseAddress();
    const TThoroughScan scan{base, found, playerBases};
    ScanFlashObjects(scan, document.applets, TElementsIn::Markup);
    ScanFlashEmbeds(scan, document.embeds, TElementsIn::Markup);
    ScanFlashObjects(scan, document.noscriptObjects, TElementsIn::Noscript);
    ScanFlashEmbeds(scan, document.noscriptEmbeds, TElementsIn::Noscript);
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

void ScanThoroughFrames(const THtmlDocument& document, TFoundMovies& found, TPlayerBases* playerBases)
{
    for (const THtmlDocument& frame : document.frames) {
        ScanThoroughElements(frame, found, playerBases);
        ScanThoroughFrames(frame, found, playerBases);
    }
}

}  // namespace

void ScanDocumentThorough(const THtmlDocument* document, TFoundMovies& found, TPlayerBases* playerBases)
{
    if (document == nullptr)
        return;
    ScanThoroughElements(*document, found, playerBases);
    ScanThoroughFrames(*document, found, playerBases);
}

}  // namespace tessaro
