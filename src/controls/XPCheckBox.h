#pragma once

#include <QCheckBox>

namespace tavora {

// Check box with the wizard's own look. Behaves exactly like QCheckBox
// (caption, checked and enabled states, clicked signal).
class XPCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit XPCheckBox(QWidget* parent = nullptr);
    explicit XPCheckBox(const QString& caption, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tavora
