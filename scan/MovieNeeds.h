#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace tessaro {

// The most files one row says it needs: a movie naming more is hostile, and
// every one of them would cost a fetch when it is saved.
inline constexpr qsizetype kMaxRowNeeds = 1024;

// Who named a file a movie needs, as the saved manifest writes it.
enum class TFoundBy {
    Page,    // a checked row of the page
    Movie,   // a movie's own code
    Player,  // the player asked for it while the movie played
};

// Whether a needed file is known to be there.
enum class TNeedState {
    Unknown,  // not looked for yet
    Fetched,  // it answered from the web
    Cached,   // a cache on the cache page holds it
    Missing,  // looked for, nowhere to be had
};

struct TNeededFile {
    QString address;  // absolute, as the movie's name resolved
    QUrl url;         // parsed once, as rows' addresses are
    TFoundBy foundBy = TFoundBy::Movie;
    TNeedState state = TNeedState::Unknown;

    bool operator==(const TNeededFile&) const = default;
};

const char* FoundByName(TFoundBy foundBy);

// What a movie at base names (movies first, then other files), resolved as
// the player resolves its loads, each once ignoring case, at most
// kMaxRowNeeds. Names that resolve to no web or file address are left out.
QList<TNeededFile> NeededFiles(const QStringList& movieNames, const QStringList& fileNames, const QString& base);

// Adds the files of more to needs that needs does not hold yet, ignoring
// case, up to kMaxRowNeeds; whether any was added.
bool AddNeededFiles(QList<TNeededFile>& needs, const QList<TNeededFile>& more);

// "Needs N files, M missing" for a tooltip; empty when nothing is needed.
QString NeedsLine(const QList<TNeededFile>& needs);

}  // namespace tessaro
