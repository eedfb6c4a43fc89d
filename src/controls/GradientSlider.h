#pragma once

#include <QSlider>

namespace tavora {

// Horizontal level slider drawn as a green gradient bar that fills up to the
// current position. Range 0 to 65535 (one unsigned 16-bit level); value
// changes are reported through QSlider's valueChanged signal.
class GradientSlider : public QSlider {
    Q_OBJECT
public:
    explicit GradientSlider(QWidget* parent = nullptr);

    static constexpr int MaxLevel = 65535;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    static constexpr int ThumbHalfWidth = 4;
    void setFromX(int x);
};

} // namespace tavora
