#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class DisplayPage;
}

namespace tavora {

class DisplayMetrics;

// The display test's verdicts: the screen must have at least 1024 x 768
// pixels, and the desktop must run at exactly 96 DPI.
struct DisplayVerdict {
    bool resolutionOk = false;
    bool dpiOk = false;
};
DisplayVerdict judgeDisplay(QSize screen, int dpi);

// Body of the display page: one button that measures the screen and two
// result labels, resolution and DPI, each green when it passes, red otherwise.
class DisplayPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int MinWidth = 1024;
    static constexpr int MinHeight = 768;
    static constexpr int RequiredDpi = 96;

    DisplayPage(const DisplayMetrics& metrics, QWidget* parent = nullptr);
    ~DisplayPage() override;

    void runDisplayTest();

    std::unique_ptr<Ui::DisplayPage> ui;

private:
    const DisplayMetrics& metrics_;
};

} // namespace tavora
