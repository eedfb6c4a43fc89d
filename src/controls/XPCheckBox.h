#pragma once

#include <QCheckBox>

// Check box with the wizard's own look. Behaves exactly like QCheckBox
// (caption, checked and enabled states, clicked signal).
class TXPCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit TXPCheckBox(QWidget* parent = nullptr);
    explicit TXPCheckBox(const QString& caption, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
