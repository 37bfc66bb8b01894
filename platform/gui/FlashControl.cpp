#include "platform/gui/FlashControl.h"

namespace tessaro {

TShockwaveFlash::TShockwaveFlash(QWidget* parent) : QWidget(parent)
{
}

void TShockwaveFlash::SetMovie(const QString& movie)
{
    movie_ = movie;
}

}  // namespace tessaro
