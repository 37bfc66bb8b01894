#include "scan/MovieReferences.h"
#include "scan/ScanDocument.h"

namespace tessaro {

namespace {

// The candidate between a pair of quotes names a movie when, with A to Z
// lowered and cut at its first "?", it ends in ".swf".
bool NamesMovie(const QString& candidate)
{
    if (candidate.contains(QLatin1Char('\'')) || candidate.size() < 4)
        return false;
    QString lowered = candidate;
    for (QChar& c : lowered) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    const qsizetype query = lowered.indexOf(QLatin1Char('?'));
    if (query >= 0)
        lowered.truncate(query);
    return lowered.endsWith(QLatin1String(".swf"));
}

}  // namespace

void ScanScripts(const QString& pageAddress, const std::vector<THtmlScriptElement>& scripts, TFoundMovies& found)
{
    std::vector<qsizetype> quotes;
    for (const THtmlScriptElement& script : scripts) {
        quotes.clear();
        const QString& text = script.text;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == QLatin1Char('"'))
                quotes.push_back(i);
        }
        // Pairing is by position only, so with an odd count no pairing is
        // trusted and the script contributes nothing.
        if (quotes.empty() || quotes.size() % 2 != 0)
            continue;
        for (size_t k = 0; k + 1 < quotes.size(); k += 2) {
            const qsizetype from = quotes[k] + 1;
            // An escaped character counts as the character it stands for.
            const QString candidate =
                EncodedSpaces(UndoScriptEscapes(QStringView(text).mid(from, quotes[k + 1] - from)));
            if (NamesMovie(candidate))
                found.Add(pageAddress, candidate);
        }
    }
}

}  // namespace tessaro
