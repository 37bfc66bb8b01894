#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

class QWebEngineView;

namespace tessaro {

class TPlayerPage;

// What the player read from a movie's header.
struct TMovieMetadata {
    int width = 0;   // pixels
    int height = 0;  // pixels
    int swfVersion = 0;
    double frameRate = 0;
    int numFrames = 0;
    QString backgroundColor;  // "#RRGGBB", empty when the movie sets none
    bool isActionScript3 = false;
};

// The Flash player control of the preview: Ruffle in a web view, one player
// page and one player reused for every movie. Setting Movie (an address or a
// local file path) plays that movie at once, replacing the one before; the
// empty text shows nothing. What cannot be played shows the player's own
// failure; the control reports nothing and never waits for it.
//
// The web view and its renderer start with the first movie set or on
// Prepare, not with the control: a window that previews nothing carries no
// player process.
class TShockwaveFlash : public QWidget {
    Q_OBJECT
public:
    explicit TShockwaveFlash(QWidget* parent = nullptr);
    ~TShockwaveFlash() override;

    // The movie now set: a local file's path, or the address.
    QString Movie() const { return movie_.isLocalFile() ? movie_.toLocalFile() : movie_.toString(); }
    // movie: a local file ("file:") or a web address; empty: none. kept: a
    // web movie's bytes when the program fetched them already; the player
    // takes them instead of asking the server again. page: the address of
    // the page the movie was found on; its fetches reach the user's own
    // network only when that page came from it.
    void SetMovie(const QUrl& movie, std::shared_ptr<const std::string> kept = nullptr,
                  const QString& page = QString());
    // A local path or an address as text (PlayerMovieUrl).
    void SetMovie(const QString& movie, std::shared_ptr<const std::string> kept = nullptr,
                  const QString& page = QString());

    // Starts the player now, so a movie set soon after plays without waiting
    // for the player to start. Later calls do nothing.
    void Prepare();

    // The metadata of the movie now set, once the player has read it.
    const std::optional<TMovieMetadata>& Metadata() const { return metadata_; }

signals:
    // The player read the header of the movie now set.
    void MovieMetadata(const TMovieMetadata& metadata);
    // The movie now set asked the player for a file besides itself (a web
    // address or a local path), answered or not.
    void MovieAsked(const QString& location, bool failed);

private:
    void StartPlayer();
    void LoadPlayerPage();
    void PlayerLine(const QString& line);
    void ShowMovie();

    QUrl movie_;
    std::shared_ptr<const std::string> kept_;
    QString pageAddress_;
    // Counts the movies set; the player tags its reports with it, so a late
    // report about a movie that was replaced is dropped.
    int generation_ = 0;
    bool playerReady_ = false;
    std::optional<TMovieMetadata> metadata_;
    QWebEngineView* view_ = nullptr;
    TPlayerPage* page_ = nullptr;
};

}  // namespace tessaro
