#include "controls/XPButton.h"

#include "controls/XPPalette.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>

namespace tavora {

XPButton::XPButton(QWidget* parent) : QPushButton(parent) {
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_Hover);
}

XPButton::XPButton(const QString& caption, QWidget* parent) : XPButton(parent) {
    setText(caption);
}

// The default size of a button on the navigation bar.
QSize XPButton::sizeHint() const {
    return {75, 25};
}

void XPButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const bool down = isDown() || isChecked();
    const bool hot = underMouse() && isEnabled();

    QLinearGradient face(r.topLeft(), r.bottomLeft());
    if (!isEnabled()) {
        face.setColorAt(0, XPPalette::disabledFace);
        face.setColorAt(1, XPPalette::disabledFace);
    } else if (down) {
        face.setColorAt(0, XPPalette::faceBottom);
        face.setColorAt(1, XPPalette::faceTop);
    } else {
        face.setColorAt(0, XPPalette::faceTop);
        face.setColorAt(1, XPPalette::faceBottom);
    }
    QPainterPath path;
    path.addRoundedRect(r, 3, 3);
    p.fillPath(path, face);
    p.setPen(QPen(isEnabled() ? (hot ? XPPalette::hotBorder : XPPalette::border) : XPPalette::disabledBorder,
                  hot ? 1.5 : 1.0));
    p.drawPath(path);
    if (hasFocus()) {
        QPen focus(XPPalette::focus, 1, Qt::DotLine);
        p.setPen(focus);
        p.drawRoundedRect(r.adjusted(3, 3, -3, -3), 2, 2);
    }
    p.setPen(isEnabled() ? palette().color(QPalette::ButtonText) : XPPalette::disabledText);
    p.drawText(rect().translated(down ? 1 : 0, down ? 1 : 0), Qt::AlignCenter | Qt::TextShowMnemonic, text());
}

} // namespace tavora
