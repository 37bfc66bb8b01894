#pragma once

#include "platform/http/NetworkReach.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>

namespace tessaro {

// The preview's own URL scheme. Everything the player page loads comes
// through it, so the program decides what the player may read:
//   tessaro://player/<page file>      the player page and its scripts
//   tessaro://player/ruffle/<file>    Ruffle's files next to the program
//   tessaro://m<32 hex>/<name>        a local movie: that one file, nothing else
//   tessaro://m<32 hex>/<path>?<q>    a web movie's own origin (scheme, host, port)
// The movie's host is drawn at random each time a movie is set and forgotten
// when the next one is, so an address of an earlier movie, or one guessed,
// answers nothing. A web movie's root-relative loads ("/data.xml") stay on its
// own origin.
inline constexpr char kPlayerScheme[] = "tessaro";
inline constexpr char kPlayerHost[] = "player";

// Where the player finds one movie.
struct PlayerMovieAddress {
    QUrl url;            // the movie in our scheme; the text itself when it cannot be played
    QUrl base;           // where the movie's relative loads resolve
    QString siteOrigin;  // "http://host[:port]" of a web movie, empty otherwise
    QUrl siteRoot;       // that origin's root in our scheme, empty otherwise
};

// What a request in our scheme stands for.
struct PlayerSource {
    enum class Kind { None, PageFile, RuffleFile, LocalFile, WebAddress };
    Kind kind = Kind::None;
    QString location;  // resource path, file path or web address, by kind
    QString origin;    // a web address's origin: the only one its fetch may reach
    // The movie the request serves (PlayerAddresses::CurrentMovie); 0 for the
    // player's own files.
    std::uint64_t movie = 0;
    // A web address: the page the movie came from (null: a page out on the
    // internet), which says how far its fetch may reach, and the address
    // every fetch of this movie connects to once the first one did.
    std::shared_ptr<PageNetwork> page;
    std::shared_ptr<HttpAddressPin> pin;
};

// A movie as text, a local path ("/...") or an address ("file:", "http:",
// "https:"), as a movie's url: a path as the file it names, an address
// through HttpAddress(). Empty text gives an empty url.
QUrl PlayerMovieUrl(const QString& movie);

// "scheme://host[:port]" of a web address, the port only when it is not the
// scheme's own; empty for anything but http and https.
QString WebOrigin(const QUrl& url);

// Maps the movie now shown into our scheme and requests back to what they
// name. Lives on the UI thread, as the scheme handler does.
class PlayerAddresses {
public:
    PlayerAddresses();

    // A local file ("file:") or a web address ("http:", "https:").
    // Replaces the movie before: its addresses answer nothing from now on.
    // page: where the movie was found, for the reach of its fetches.
    PlayerMovieAddress ForMovie(const QUrl& movie, std::shared_ptr<PageNetwork> page = nullptr);
    // No movie: only the player's own files answer.
    void Forget();

    // Counts the movies set, from 1; the number of the one now shown.
    std::uint64_t CurrentMovie() const { return serial_; }

    PlayerSource Resolve(const QUrl& request) const;

    static QUrl PageUrl();

private:
    std::uint64_t serial_ = 0;
    QString host_;       // the current movie's host; empty when none
    QString localPath_;  // a local movie's file
    QString origin_;     // a web movie's origin
    std::shared_ptr<PageNetwork> page_;
    std::shared_ptr<HttpAddressPin> pin_;
};

}  // namespace tessaro
