#pragma once

#include "platform/player/PlayerAddresses.h"
#include "platform/player/PlayerFetchPool.h"

#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <memory>
#include <string>

class QIODevice;
class QWebEngineProfile;

namespace tessaro {

// Makes our scheme known to the web engine. Must run before the application
// object exists; later calls do nothing.
void RegisterPlayerScheme();

// Serves the player page, Ruffle's files and the movie now shown (see
// PlayerAddresses). Files and web addresses are read by the fetch pool and
// relayed, so a slow disk or server never holds the UI thread.
class TPlayerSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    explicit TPlayerSchemeHandler(QObject* parent = nullptr);

    // The movie the player shows from now on (empty: none). The addresses of
    // the movie before stop answering and its fetches end. kept: the web
    // movie's bytes when the program has them already; the movie's own
    // address is answered with them instead of fetching it again. page: the
    // address of the page the movie was found on; the movie's fetches reach
    // the user's own network only when that page came from it.
    PlayerMovieAddress ShowMovie(const QUrl& movie, std::shared_ptr<const std::string> kept = nullptr,
                                 const QString& page = QString());

    void requestStarted(QWebEngineUrlRequestJob* job) override;

signals:
    // A request was answered (failed false) or refused (failed true).
    void Served(const QUrl& url, bool failed);
    // The movie now shown asked for a file (a web address or a local path)
    // besides itself, answered or not.
    void MovieAsked(const QString& location, bool failed);

private:
    void Relay(QWebEngineUrlRequestJob* job, const PlayerSource& source);

    PlayerAddresses addresses_;
    PlayerFetchPool pool_;
    std::shared_ptr<const std::string> kept_;
    QUrl keptUrl_;  // where the player asks for the kept movie
    std::shared_ptr<PageNetwork> page_;
    QString pageAddress_;
};

// A read-only device over kept bytes that shares them instead of copying
// them, and keeps them alive as long as it lives.
QIODevice* SharedBytesDevice(std::shared_ptr<const std::string> bytes, QObject* parent);

// The preview's web profile: off the record, with our scheme installed. Only
// the player uses it, so no page from the web can ask our scheme for a file.
QWebEngineProfile* PlayerProfile();
TPlayerSchemeHandler* PlayerSchemeHandler();

}  // namespace tessaro
