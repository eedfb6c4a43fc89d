#include "shell/DisplayMetrics.h"

#include <QGuiApplication>
#include <QScreen>
#include <qpa/qplatformscreen.h>

#include <cmath>

namespace tavora {

namespace {
QScreen* primaryScreen() {
    return QGuiApplication::primaryScreen();
}
} // namespace

ScreenMetrics::ScreenMetrics() {
    const QScreen* screen = primaryScreen();
    dpi_ = screen ? int(std::lround(screen->logicalDotsPerInchY() * screen->devicePixelRatio())) : 96;
}

// The platform's own geometry of the screen is in device pixels. QScreen's
// geometry is that divided by the desktop scale and rounded, so multiplying it
// back is off by a pixel at scales such as 1.7 (a 768-pixel screen reads 767).
QSize ScreenMetrics::screenSize() const {
    const QScreen* screen = primaryScreen();
    if (!screen || !screen->handle())
        return {};
    return screen->handle()->geometry().size();
}

} // namespace tavora
