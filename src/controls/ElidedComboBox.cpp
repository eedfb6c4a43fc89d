#include "controls/ElidedComboBox.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace tavora {

void ElidedComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect text =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideRight, text.width() - 2);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

} // namespace tavora
