#pragma once

#include <QPushButton>

namespace tavora {

// Push button with the wizard's own flat, rounded look. Behaves exactly like
// QPushButton (caption, enabled state, clicked signal); only painting differs.
class XPButton : public QPushButton {
    Q_OBJECT
public:
    explicit XPButton(QWidget* parent = nullptr);
    explicit XPButton(const QString& caption, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tavora
