#include "controls/ElidedComboBox.h"

#include <QAbstractItemDelegate>
#include <QAbstractItemView>
#include <QScreen>
#include <QStandardItemModel>
#include <QStyleOptionComboBox>
#include <QStyleOptionMenuItem>
#include <QStylePainter>

#include <algorithm>

namespace tavora {

namespace {

// Paints the open list's entries with the list's own delegate, so they look
// as the style draws them. An entry wider than the list is painted from a
// copy of its row whose text is shortened the box's way; the copy keeps the
// entry's row, so the style still marks the current entry.
class KeptEndingDelegate final : public QAbstractItemDelegate {
public:
    KeptEndingDelegate(ElidedComboBox& combo, QAbstractItemDelegate* inner)
        : QAbstractItemDelegate(&combo), combo_(combo), inner_(inner), copy_(0, 1) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QString text = index.data(Qt::DisplayRole).toString();
        const QString shown = combo_.elidedText(text, combo_.fontMetrics(),
                                                option.rect.width() - combo_.listEntryMargins(option));
        if (shown == text) {
            inner_->paint(painter, option, index);
            return;
        }
        copy_.setRowCount(index.row() + 1);
        const QModelIndex copied = copy_.index(index.row(), 0);
        copy_.setItemData(copied, index.model()->itemData(index));
        copy_.setData(copied, shown, Qt::DisplayRole);
        inner_->paint(painter, option, copied);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return inner_->sizeHint(option, index);
    }

private:
    ElidedComboBox& combo_;
    QAbstractItemDelegate* inner_;
    mutable QStandardItemModel copy_; // one column, rows as needed
};

} // namespace

int ElidedComboBox::listEntryMargins(const QStyleOptionViewItem& option) const {
    QStyleOptionComboBox box;
    initStyleOption(&box);
    if (!style()->styleHint(QStyle::SH_ComboBox_Popup, &box, this)) {
        // A plain list: the item view's text margin on either side.
        return 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    }
    // A list drawn as a menu: the check mark column and the borders, as the
    // style sizes a menu entry around text of no width.
    QStyleOptionMenuItem item;
    item.initFrom(this);
    item.checkType = QStyleOptionMenuItem::NonExclusive;
    item.menuItemType = QStyleOptionMenuItem::Normal;
    item.maxIconWidth = option.decorationSize.width() + 4;
    item.reservedShortcutWidth = 0;
    item.font = font();
    item.fontMetrics = fontMetrics();
    return style()
        ->sizeFromContents(QStyle::CT_MenuItem, &item, QSize(0, option.rect.height()), this)
        .width();
}

void ElidedComboBox::showPopup() {
    QComboBox::showPopup();
    if (keptEnding_.isEmpty())
        return;
    // The list is made as wide as its longest entry needs, up to the
    // screen's width; only an entry wider than that is shortened.
    QWidget* popup = view()->window();
    QStyleOptionViewItem option;
    option.initFrom(view());
    option.rect = QRect(0, 0, 0, view()->sizeHintForRow(0));
    option.decorationSize = iconSize();
    int widest = 0;
    for (int k = 0; k < count(); ++k)
        widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(k)));
    const int beside = popup->width() - view()->viewport()->width() + listEntryMargins(option);
    const QRect screen = popup->screen()->availableGeometry();
    const int wanted = std::min(widest + beside, screen.width());
    if (wanted <= popup->width())
        return;
    QRect place = popup->geometry();
    place.setWidth(wanted);
    if (place.right() > screen.right())
        place.moveRight(screen.right());
    popup->setGeometry(place);
}

void ElidedComboBox::setKeptEnding(const QString& ending) {
    // Set on the view itself: the box's own setItemDelegate would delete
    // the delegate the new one paints with.
    if (keptEnding_.isEmpty() && !ending.isEmpty())
        view()->setItemDelegate(new KeptEndingDelegate(*this, itemDelegate()));
    keptEnding_ = ending;
}

QString ElidedComboBox::elidedText(const QString& text, const QFontMetrics& metrics, int width) const {
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    if (keptEnding_.isEmpty() || !text.endsWith(keptEnding_))
        return metrics.elidedText(text, Qt::ElideRight, width);
    const QString description = text.chopped(keptEnding_.size());
    QString shortened =
        metrics.elidedText(description, Qt::ElideRight, width - metrics.horizontalAdvance(keptEnding_));
    // Too narrow even for a letter: the ellipsis alone says something is left out.
    if (shortened.isEmpty())
        shortened = QStringLiteral("\u2026");
    return shortened + keptEnding_;
}

QString ElidedComboBox::shownText() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect text =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    return elidedText(option.currentText, fontMetrics(), text.width() - 2);
}

void ElidedComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = shownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

} // namespace tavora
