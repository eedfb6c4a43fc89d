#pragma once

#include <QFont>
#include <QString>

// The forms are laid out in pixels for an 8 point face at 96 DPI (11 pixels).
// The face they were drawn with is used where installed; otherwise faces of
// about its width come first, so that fixed-size labels and check boxes
// still hold their texts. The wide DejaVu Sans is the last resort.
inline QFont DesignFont(const QString& designFace) {
    QFont font;
    font.setFamilies({designFace, "Tahoma", "Liberation Sans", "Arial", "DejaVu Sans Condensed", "DejaVu Sans",
                      "sans-serif"});
    font.setPixelSize(11);
    return font;
}
