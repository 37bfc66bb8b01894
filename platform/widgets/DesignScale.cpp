#include "platform/widgets/DesignScale.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace tessaro {

namespace {
double pinnedScale = 0.0;
}

double DesignScale()
{
    if (pinnedScale > 0.0)
        return pinnedScale;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInchX() / 120.0 : 0.8;
}

int Scaled(int designPixels)
{
    return static_cast<int>(std::lround(designPixels * DesignScale()));
}

void SetDesignScale(double scale)
{
    pinnedScale = scale;
}

}  // namespace tessaro
