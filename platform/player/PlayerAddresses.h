#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace tessaro {

// The preview's own URL scheme. Everything the player page loads comes
// through it, so the program decides what the player may read:
//   tessaro://player/<page file>      the player page and its scripts
//   tessaro://player/ruffle/<file>    Ruffle's files next to the program
//   tessaro://local/<absolute path>   a file on disk
//   tessaro://site<N>/<path>?<query>  an address of the N-th web site seen
// A web site gets a host of its own so that a movie's root-relative loads
// ("/data.xml") stay on its site.
inline constexpr char kPlayerScheme[] = "tessaro";
inline constexpr char kPlayerHost[] = "player";
inline constexpr char kLocalHost[] = "local";

// Where the player finds one movie.
struct PlayerMovieAddress {
    QUrl url;            // the movie in our scheme; the text itself when it cannot be played
    QUrl base;           // the folder of url: the movie's relative loads resolve here
    QString siteOrigin;  // "http://host[:port]" of a web movie, empty otherwise
    QUrl siteRoot;       // that site's root in our scheme, empty otherwise
};

// What a request in our scheme stands for.
struct PlayerSource {
    enum class Kind { None, PageFile, RuffleFile, LocalFile, WebAddress };
    Kind kind = Kind::None;
    QString location;  // resource path, file path or web address, by kind
};

// Maps movie texts into our scheme and requests back to what they name.
// Lives on the UI thread, as the scheme handler does.
class PlayerAddresses {
public:
    PlayerAddresses();

    // A local path ("/..." or "file:") or a web address ("http:", "https:").
    PlayerMovieAddress ForMovie(const QString& movie);

    PlayerSource Resolve(const QUrl& request) const;

    static QUrl PageUrl();

private:
    QString SiteHost(const QString& origin);

    QStringList origins_;  // origins_[N - 1] is site<N>
    QHash<QString, QString> hostOfOrigin_;
};

}  // namespace tessaro
