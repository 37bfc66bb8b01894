#pragma once

#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <vector>

#include "platform/core/WorkerThread.h"
#include "platform/player/PlayerAddresses.h"
#include "platform/player/PlayerSourceThread.h"

class QWebEngineProfile;

namespace tessaro {

// Makes our scheme known to the web engine. Must run before the application
// object exists; later calls do nothing.
void RegisterPlayerScheme();

// Serves the player page, Ruffle's files and the movies (see PlayerAddresses).
// Files and web addresses are read on worker threads and relayed, so a slow
// disk or server never holds the UI thread. The handler owns those workers:
// its end waits for any still reading.
class TPlayerSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    explicit TPlayerSchemeHandler(QObject* parent = nullptr);

    PlayerAddresses& Addresses() { return addresses_; }

    void requestStarted(QWebEngineUrlRequestJob* job) override;

signals:
    // A request was answered (failed false) or refused (failed true).
    void Served(const QUrl& url, bool failed);

private:
    void Relay(QWebEngineUrlRequestJob* job, const PlayerSource& source);
    void ForgetSource(const TThread* worker);

    PlayerAddresses addresses_;
    std::vector<WorkerHandle<TPlayerSourceThread>> sources_;
};

// The preview's web profile: off the record, with our scheme installed. Only
// the player uses it, so no page from the web can ask our scheme for a file.
QWebEngineProfile* PlayerProfile();
TPlayerSchemeHandler* PlayerSchemeHandler();

}  // namespace tessaro
