#include "shell/DisplayPage.h"
#include "controls/FontColour.h"
#include "shell/DisplayMetrics.h"
#include "ui_DisplayPage.h"

#include <QtTest>

using namespace tavora;

namespace {
class FakeMetrics final : public DisplayMetrics {
public:
    QSize size{1024, 768};
    int fakeDpi = 96;
    QSize screenSize() const override { return size; }
    int dpi() const override { return fakeDpi; }
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
        DisplayPage page(metrics);
        QVERIFY(page.ui->resolutionResultLabel->text().isEmpty());
        QVERIFY(page.ui->dpiResultLabel->text().isEmpty());
        QCOMPARE(page.ui->testDisplayButton->text(), QString("Test My Display"));
        QCOMPARE(page.ui->instructionsLabel->text(), QString("Click the Test My Display button. "));
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
        metrics.fakeDpi = dpi;
        DisplayPage page(metrics);
        QTest::mouseClick(page.ui->testDisplayButton, Qt::LeftButton);
        QCOMPARE(page.ui->resolutionResultLabel->text(), resolutionOk ? QString("Screen resolution - OK") : TooSmall);
        QCOMPARE(fontColour(page.ui->resolutionResultLabel), resolutionOk ? FontColours::Green : FontColours::Red);
        QCOMPARE(page.ui->dpiResultLabel->text(), dpiOk ? QString("Screen DPI - OK") : DpiDiffers);
        QCOMPARE(fontColour(page.ui->dpiResultLabel), dpiOk ? FontColours::Green : FontColours::Red);
    }

    // The size is measured at every press; the DPI is the start-up value the
    // metrics hold, so a later change of it is not seen by the page.
    void eachPressMeasuresAfresh() {
        FakeMetrics metrics;
        metrics.size = {800, 600};
        DisplayPage page(metrics);
        page.runDisplayTest();
        QCOMPARE(page.ui->resolutionResultLabel->text(), TooSmall);
        metrics.size = {1280, 1024};
        page.runDisplayTest();
        QCOMPARE(page.ui->resolutionResultLabel->text(), QString("Screen resolution - OK"));
        QCOMPARE(fontColour(page.ui->resolutionResultLabel), FontColours::Green);
    }
};

QTEST_MAIN(DisplayPageTest)
#include "DisplayPageTest.moc"
