#include "controls/XPCheckBox.h"

#include "controls/XPPalette.h"

#include <QPainter>

namespace tavora {

XPCheckBox::XPCheckBox(QWidget* parent) : QCheckBox(parent) {}

XPCheckBox::XPCheckBox(const QString& caption, QWidget* parent) : XPCheckBox(parent) {
    setText(caption);
}

void XPCheckBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int box = 13;
    const QRectF b(0.5, (height() - box) / 2 + 0.5, box - 1, box - 1);
    QLinearGradient face(b.topLeft(), b.bottomRight());
    face.setColorAt(0, isEnabled() ? XPPalette::faceBottom : XPPalette::disabledFace);
    face.setColorAt(1, XPPalette::faceTop);
    p.fillRect(b, face);
    p.setPen(isEnabled() ? XPPalette::border : XPPalette::disabledBorder);
    p.drawRect(b);
    if (isChecked()) {
        QPen tick(isEnabled() ? XPPalette::levelHigh : XPPalette::disabledText, 2);
        p.setPen(tick);
        p.drawPolyline(QPolygonF{{b.left() + 3, b.center().y()},
                                 {b.left() + 5.5, b.bottom() - 3},
                                 {b.right() - 2.5, b.top() + 3}});
    }
    p.setPen(isEnabled() ? palette().color(QPalette::WindowText) : XPPalette::disabledText);
    const QRect text = rect().adjusted(box + 5, 0, 0, 0);
    p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, this->text());
    if (hasFocus()) {
        p.setPen(QPen(XPPalette::focus, 1, Qt::DotLine));
        p.drawRect(
            p.boundingRect(text, Qt::AlignVCenter | Qt::AlignLeft, this->text()).adjusted(-1, 0, 1, 0));
    }
}

} // namespace tavora
