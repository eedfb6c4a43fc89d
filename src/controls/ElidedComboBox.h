#pragma once

#include <QComboBox>
#include <QString>

class QFontMetrics;

class QStyleOptionViewItem;

namespace tavora {


// A drop-down list whose closed box shows the current entry cut short with
// an ellipsis when it is wider than the box; the open list shows entries
// whole where there is room. Device names from the sound server can be far
// longer than the box. An entry that ends in the kept ending (the default
// device's mark) is shortened before that ending, which stays whole, in the
// closed box and in the open list.
class ElidedComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

    // The ending that is never cut off; empty: entries are cut at the right.
    void setKeptEnding(const QString& ending);
    QString keptEnding() const { return keptEnding_; }
    // `text` as shown in `width` pixels of the face `metrics` measures.
    QString elidedText(const QString& text, const QFontMetrics& metrics, int width) const;
    // The current entry as the closed box shows it.
    QString shownText() const;
    // What an entry of the open list takes beside its text (check mark
    // column, borders) in the row `option` describes.
    int listEntryMargins(const QStyleOptionViewItem& option) const;

    void showPopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString keptEnding_;
};

} // namespace tavora
