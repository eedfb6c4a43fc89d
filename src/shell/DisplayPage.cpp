#include "shell/DisplayPage.h"

#include "controls/Accessibility.h"
#include "controls/FontColour.h"
#include "shell/DisplayMetrics.h"
#include "ui_DisplayPage.h"

namespace tavora {

DisplayVerdict judgeDisplay(QSize screen, int dpi) {
    return {screen.width() >= DisplayPage::MinWidth && screen.height() >= DisplayPage::MinHeight,
            dpi == DisplayPage::RequiredDpi};
}

DisplayPage::DisplayPage(const DisplayMetrics& metrics, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::DisplayPage>()), metrics_(metrics) {
    ui->setupUi(this);
    makeAnnouncedLabel(ui->resolutionResultLabel);
    makeAnnouncedLabel(ui->dpiResultLabel);
    connect(ui->testDisplayButton, &QPushButton::clicked, this, &DisplayPage::runDisplayTest);
}

DisplayPage::~DisplayPage() = default;

void DisplayPage::runDisplayTest() {
    ui->resolutionResultLabel->clear();
    const DisplayVerdict verdict = judgeDisplay(metrics_.screenSize(), metrics_.dpi());
    QString resolutionText;
    if (!verdict.resolutionOk) {
        resolutionText = tr("Your screen resolution is less than 1024x768 pixels.\r\n"
                            "You might experience problems seeing all the classroom elements.");
        setFontColour(ui->resolutionResultLabel, FontColours::Red);
    } else {
        resolutionText = tr("Screen resolution - OK");
        setFontColour(ui->resolutionResultLabel, FontColours::Green);
    }
    QString dpiText;
    if (verdict.dpiOk) {
        dpiText = tr("Screen DPI - OK");
        setFontColour(ui->dpiResultLabel, FontColours::Green);
    } else {
        dpiText = tr("Your display is running at DPI different than 96 dots per inch\r\n"
                     "Some of the text messages and buttons may not be visible");
        setFontColour(ui->dpiResultLabel, FontColours::Red);
    }
    ui->resolutionResultLabel->setText(resolutionText);
    ui->dpiResultLabel->setText(dpiText);
    announce(ui->resolutionResultLabel);
    announce(ui->dpiResultLabel);
}

} // namespace tavora
