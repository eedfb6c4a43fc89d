#pragma once

#include <QComboBox>

namespace tavora {

// A drop-down list whose closed box shows the current entry cut short with
// an ellipsis when it is wider than the box; the open list shows entries
// whole where there is room. Device names from the sound server can be far
// longer than the box.
class ElidedComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tavora
