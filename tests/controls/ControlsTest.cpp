#include "controls/ElidedComboBox.h"
#include "controls/GradientSlider.h"
#include "controls/XPButton.h"
#include "controls/XPCheckBox.h"

#include <QAbstractItemView>
#include <QSignalSpy>
#include <QtTest>

using namespace tavora;

class ControlsTest : public QObject {
    Q_OBJECT
private slots:
    // The level slider maps the mouse onto 0..65535, ends included, and
    // reports each change.
    void sliderFollowsTheMouse() {
        GradientSlider slider;
        slider.resize(105, 35);
        slider.show();
        QCOMPARE(slider.minimum(), 0);
        QCOMPARE(slider.maximum(), 65535);
        QSignalSpy changed(&slider, &QSlider::valueChanged);
        QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(104, 17));
        QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(104, 17));
        QCOMPARE(slider.value(), 65535);
        QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(0, 17));
        QTest::mouseMove(&slider, QPoint(52, 17));
        QVERIFY(qAbs(slider.value() - 32768) < 1000);
        QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(52, 17));
        QVERIFY(!slider.isSliderDown());
        QVERIFY(changed.count() >= 3);

        slider.setEnabled(false);
        const int before = slider.value();
        QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(2, 17));
        QCOMPARE(slider.value(), before);
    }

    // A description too long for the box is shortened; the default's mark
    // after it stays whole.
    void aLongEntryKeepsItsMark() {
        ElidedComboBox combo;
        combo.setKeptEnding(" (Windows Default)");
        combo.addItem(
            "Tiger Lake-LP Smart Sound Technology Audio Controller Speaker + Headphones (Windows Default)");
        combo.resize(300, 21);
        QVERIFY2(combo.shownText().endsWith(QString::fromUtf8("\u2026 (Windows Default)")),
                 qPrintable(combo.shownText()));
        // The open list has room for the whole entry where the screen has;
        // narrower, it paints the entry shortened.
        combo.showPopup();
        QStyleOptionViewItem row;
        row.rect = QRect(0, 0, 0, 20);
        QVERIFY(combo.view()->viewport()->width() >=
                combo.fontMetrics().horizontalAdvance(combo.itemText(0)) + combo.listEntryMargins(row));
        combo.view()->window()->resize(250, combo.view()->window()->height());
        QVERIFY(!combo.view()->grab().isNull());
    }

    void buttonsBehaveLikeTheirQtBases() {
        XPButton button("Play");
        QSignalSpy clicked(&button, &QPushButton::clicked);
        button.resize(96, 31);
        button.show();
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        button.setEnabled(false);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QVERIFY(!button.grab().isNull());

        XPCheckBox box("Microphone Boost");
        box.resize(150, 17);
        box.show();
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(5, 8));
        QVERIFY(box.isChecked());
        QVERIFY(!box.grab().isNull());
    }
};

QTEST_MAIN(ControlsTest)
#include "ControlsTest.moc"
