#include "shell/DisplayPage.h"

#include "controls/FontColour.h"
#include "shell/DisplayMetrics.h"
#include "ui_TDisplayPage.h"

namespace {
const char* const ResolutionTooSmall = "Your screen resolution is less than 1024x768 pixels.\r\n"
                                       "You might experience problems seeing all the classroom elements.";
const char* const ResolutionOk = "Screen resolution - OK";
const char* const DpiDiffers = "Your display is running at DPI different than 96 dots per inch\r\n"
                               "Some of the text messages and buttons may not be visible";
const char* const DpiOk = "Screen DPI - OK";
} // namespace

TDisplayVerdict JudgeDisplay(QSize screen, int dpi) {
    return {screen.width() >= TDisplayPage::MinWidth && screen.height() >= TDisplayPage::MinHeight,
            dpi == TDisplayPage::RequiredDpi};
}

TDisplayPage::TDisplayPage(const TDisplayMetrics& metrics, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TDisplayPage>()), m_metrics(metrics) {
    ui->setupUi(this);
    connect(ui->btnTestDisplay, &QPushButton::clicked, this, &TDisplayPage::btnTestDisplayClick);
}

TDisplayPage::~TDisplayPage() = default;

void TDisplayPage::btnTestDisplayClick() {
    ui->Label11->clear();
    const TDisplayVerdict verdict = JudgeDisplay(m_metrics.ScreenSize(), m_metrics.Dpi());
    QString resolutionText;
    if (!verdict.ResolutionOk) {
        resolutionText = ResolutionTooSmall;
        SetFontColour(ui->Label11, FontColours::Red);
    } else {
        resolutionText = ResolutionOk;
        SetFontColour(ui->Label11, FontColours::Green);
    }
    QString dpiText;
    if (verdict.DpiOk) {
        dpiText = DpiOk;
        SetFontColour(ui->Label33, FontColours::Green);
    } else {
        dpiText = DpiDiffers;
        SetFontColour(ui->Label33, FontColours::Red);
    }
    ui->Label11->setText(resolutionText);
    ui->Label33->setText(dpiText);
}
