#include "shell/DisplayPage.h"
#include "controls/FontColour.h"
#include "shell/DisplayMetrics.h"
#include "ui_TDisplayPage.h"

#include <QtTest>

namespace {
class FakeMetrics final : public TDisplayMetrics {
public:
    QSize size{1024, 768};
    int dpi = 96;
    QSize ScreenSize() const override { return size; }
    int Dpi() const override { return dpi; }
};

const QString TooSmall = "Your screen resolution is less than 1024x768 pixels.\r\n"
                         "You might experience problems seeing all the classroom elements.";
const QString DpiDiffers = "Your display is running at DPI different than 96 dots per inch\r\n"
                           "Some of the text messages and buttons may not be visible";
} // namespace

class DisplayPageTest : public QObject {
    Q_OBJECT
private slots:
    void startsEmpty() {
        FakeMetrics metrics;
        TDisplayPage page(metrics);
        QVERIFY(page.ui->Label11->text().isEmpty());
        QVERIFY(page.ui->Label33->text().isEmpty());
        QCOMPARE(page.ui->btnTestDisplay->text(), QString("Test My Display"));
        QCOMPARE(page.ui->Label7->text(), QString("Click the Test My Display button. "));
    }

    void verdicts_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<bool>("resolutionOk");
        QTest::addColumn<bool>("dpiOk");
        QTest::newRow("exactly 1024x768 at 96") << 1024 << 768 << 96 << true << true;
        QTest::newRow("one column short") << 1023 << 768 << 96 << false << true;
        QTest::newRow("one row short") << 1024 << 767 << 96 << false << true;
        QTest::newRow("wide but too low") << 1280 << 720 << 96 << false << true;
        QTest::newRow("large at 120") << 1920 << 1080 << 120 << true << false;
        QTest::newRow("small at 72") << 800 << 600 << 72 << false << false;
        QTest::newRow("97 is not 96") << 1024 << 768 << 97 << true << false;
    }
    void verdicts() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, dpi);
        QFETCH(bool, resolutionOk);
        QFETCH(bool, dpiOk);
        FakeMetrics metrics;
        metrics.size = {width, height};
        metrics.dpi = dpi;
        TDisplayPage page(metrics);
        QTest::mouseClick(page.ui->btnTestDisplay, Qt::LeftButton);
        QCOMPARE(page.ui->Label11->text(), resolutionOk ? QString("Screen resolution - OK") : TooSmall);
        QCOMPARE(FontColour(page.ui->Label11), resolutionOk ? FontColours::Green : FontColours::Red);
        QCOMPARE(page.ui->Label33->text(), dpiOk ? QString("Screen DPI - OK") : DpiDiffers);
        QCOMPARE(FontColour(page.ui->Label33), dpiOk ? FontColours::Green : FontColours::Red);
    }

    // The size is measured at every press; the DPI is the start-up value the
    // metrics hold, so a later change of it is not seen by the page.
    void eachPressMeasuresAfresh() {
        FakeMetrics metrics;
        metrics.size = {800, 600};
        TDisplayPage page(metrics);
        page.btnTestDisplayClick();
        QCOMPARE(page.ui->Label11->text(), TooSmall);
        metrics.size = {1280, 1024};
        page.btnTestDisplayClick();
        QCOMPARE(page.ui->Label11->text(), QString("Screen resolution - OK"));
        QCOMPARE(FontColour(page.ui->Label11), FontColours::Green);
    }
};

QTEST_MAIN(DisplayPageTest)
#include "DisplayPageTest.moc"
