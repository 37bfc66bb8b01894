#pragma once

#include <QString>
#include <QWidget>

namespace tessaro {

// The Flash player control of the preview. Setting Movie (an address or a
// local file path) plays that movie at once, replacing the one before; the
// empty text shows nothing.
class TShockwaveFlash : public QWidget {
    Q_OBJECT
public:
    explicit TShockwaveFlash(QWidget* parent = nullptr);

    QString Movie() const { return movie_; }
    void SetMovie(const QString& movie);

private:
    QString movie_;
};

}  // namespace tessaro
