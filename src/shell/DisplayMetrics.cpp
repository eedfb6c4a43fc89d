#include "shell/DisplayMetrics.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace {
QScreen* primaryScreen() {
    return QGuiApplication::primaryScreen();
}
} // namespace

TScreenMetrics::TScreenMetrics() {
    const QScreen* screen = primaryScreen();
    m_dpi = screen ? int(std::lround(screen->logicalDotsPerInchY() * screen->devicePixelRatio())) : 96;
}

QSize TScreenMetrics::ScreenSize() const {
    const QScreen* screen = primaryScreen();
    if (!screen)
        return {};
    const double ratio = screen->devicePixelRatio();
    const QSize logical = screen->geometry().size();
    return {int(std::lround(logical.width() * ratio)), int(std::lround(logical.height() * ratio))};
}
