#include "controls/GradientSlider.h"

#include "controls/XPPalette.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tavora {

GradientSlider::GradientSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setRange(0, MaxLevel);
    setSingleStep(MaxLevel / 100);
    setPageStep(MaxLevel / 10);
    setFocusPolicy(Qt::StrongFocus);
}

void GradientSlider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The track leaves room for half a thumb at each end, so the thumb stays
    // whole at 0 and at the top of the range.
    const QRectF track = QRectF(rect()).adjusted(ThumbHalfWidth + 0.5, height() / 2.0 - 5,
                                                 -ThumbHalfWidth - 0.5, -(height() / 2.0 - 5));
    QPainterPath outline;
    outline.addRoundedRect(track, 4, 4);
    p.fillPath(outline, XPPalette::track);

    const double span = maximum() > minimum() ? double(value() - minimum()) / (maximum() - minimum()) : 0.0;
    QRectF filled = track;
    filled.setWidth(track.width() * span);
    QLinearGradient level(track.topLeft(), track.topRight());
    level.setColorAt(0, isEnabled() ? XPPalette::levelLow : XPPalette::disabledBorder);
    level.setColorAt(1, isEnabled() ? XPPalette::levelHigh : XPPalette::disabledText);
    p.save();
    p.setClipPath(outline);
    p.fillRect(filled, level);
    p.restore();
    p.setPen(isEnabled() ? XPPalette::border : XPPalette::disabledBorder);
    p.drawPath(outline);

    // The thumb: a small rounded handle at the current position.
    const double x = track.left() + track.width() * span;
    const QRectF thumb(x - ThumbHalfWidth, 1.5, 2 * ThumbHalfWidth, height() - 3);
    QLinearGradient face(thumb.topLeft(), thumb.bottomLeft());
    face.setColorAt(0, XPPalette::faceTop);
    face.setColorAt(1, isEnabled() ? XPPalette::faceBottom : XPPalette::disabledFace);
    QPainterPath handle;
    handle.addRoundedRect(thumb, 2, 2);
    p.fillPath(handle, face);
    p.drawPath(handle);
    if (hasFocus()) {
        p.setPen(QPen(XPPalette::focus, 1, Qt::DotLine));
        p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

void GradientSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QSlider::mousePressEvent(event);
        return;
    }
    setSliderDown(true);
    setFromX(event->position().toPoint().x());
    event->accept();
}

void GradientSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!isSliderDown()) {
        QSlider::mouseMoveEvent(event);
        return;
    }
    setFromX(event->position().toPoint().x());
    event->accept();
}

void GradientSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!isSliderDown()) {
        QSlider::mouseReleaseEvent(event);
        return;
    }
    setSliderDown(false);
    event->accept();
}

void GradientSlider::setFromX(int x) {
    const double usable = std::max(1, width() - 2 * ThumbHalfWidth - 1);
    const double span = std::clamp((x - ThumbHalfWidth - 0.5) / usable, 0.0, 1.0);
    setValue(minimum() + int(span * (maximum() - minimum()) + 0.5));
}

} // namespace tavora
