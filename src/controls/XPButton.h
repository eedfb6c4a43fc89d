#pragma once

#include <QPushButton>

// Push button with the wizard's own flat, rounded look. Behaves exactly like
// QPushButton (caption, enabled state, clicked signal); only painting differs.
class TXPButton : public QPushButton {
    Q_OBJECT
public:
    explicit TXPButton(QWidget* parent = nullptr);
    explicit TXPButton(const QString& caption, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
