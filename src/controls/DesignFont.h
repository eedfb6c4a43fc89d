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
// window uses, on the way to its first paint; so does a second family named
// after it (the fallback list is then asked for at once rather than when a
// character is missing from the face). Without any design face installed, the
// desktop's sans-serif face.
inline QFont designFont() {
    const QStringList installed = QFontDatabase::families();
    QString family = "sans-serif";
    for (const QString& face : DesignFaces)
        if (installed.contains(face, Qt::CaseInsensitive)) {
            family = face;
            break;
        }
    QFont font;
    font.setFamilies({family});
    font.setPixelSize(11);
    return font;
}

} // namespace tavora
