#pragma once

#include <QFont>
#include <QStringList>

namespace tavora {

// The forms are laid out in pixels for an 8 point Tahoma at 96 DPI (11
// pixels). Tahoma is used where installed; otherwise faces of about its width
// come first, so that fixed-size labels and check boxes still hold their
// texts. The wide DejaVu Sans is the last resort.
inline const QStringList DesignFaces{"Tahoma", "Liberation Sans", "Arial", "DejaVu Sans Condensed",
                                     "DejaVu Sans"};

inline QFont designFont() {
    QFont font;
    font.setFamilies(DesignFaces + QStringList{"sans-serif"});
    font.setPixelSize(11);
    return font;
}

} // namespace tavora
