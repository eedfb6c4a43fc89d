#pragma once

#include <QFont>
#include <QFontDatabase>
#include <QStringList>

namespace tavora {

// The forms are laid out in pixels for an 8 point Tahoma at 96 DPI (11
// pixels). Tahoma is used where installed; otherwise faces of about its width
// come first, so that fixed-size labels and check boxes still hold their
// texts. The wide DejaVu Sans is the last resort.
inline const QStringList DesignFaces{"Tahoma", "Liberation Sans", "Arial", "DejaVu Sans Condensed",
                                     "DejaVu Sans"};

// Names the first design face installed, alone: a face named but missing
// costs the font matcher a fallback search for every size and weight the
// window uses, on the way to its first paint.
inline QFont designFont() {
    const QStringList installed = QFontDatabase::families();
    QStringList faces;
    for (const QString& face : DesignFaces)
        if (installed.contains(face, Qt::CaseInsensitive)) {
            faces << face;
            break;
        }
    QFont font;
    font.setFamilies(faces + QStringList{"sans-serif"});
    font.setPixelSize(11);
    return font;
}

} // namespace tavora
