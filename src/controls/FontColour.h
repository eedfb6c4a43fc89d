#pragma once

#include <QColor>
#include <QLabel>

namespace tavora {

// Result texts are green or red, progress texts black. Colours are set on the
// label's palette, so a test reads them back with fontColour().
namespace FontColours {
inline const QColor Green{0, 128, 0};
inline const QColor Red{255, 0, 0};
inline const QColor Black{0, 0, 0};
inline const QColor Maroon{128, 0, 0};
inline const QColor Navy{0, 0, 128};
inline const QColor Grey{128, 128, 128};
} // namespace FontColours

inline void setFontColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

inline QColor fontColour(const QWidget* widget) {
    return widget->palette().color(QPalette::WindowText);
}

} // namespace tavora
