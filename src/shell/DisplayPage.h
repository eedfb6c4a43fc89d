#pragma once

#include <QWidget>

#include <memory>

class TDisplayMetrics;
namespace Ui {
class TDisplayPage;
}

// The display test's verdicts: the screen must have at least 1024 x 768
// pixels, and the desktop must run at exactly 96 DPI.
struct TDisplayVerdict {
    bool ResolutionOk = false;
    bool DpiOk = false;
};
TDisplayVerdict JudgeDisplay(QSize screen, int dpi);

// Body of the display page: one button that measures the screen and two
// result labels, resolution and DPI, each green when it passes, red otherwise.
class TDisplayPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int MinWidth = 1024;
    static constexpr int MinHeight = 768;
    static constexpr int RequiredDpi = 96;

    TDisplayPage(const TDisplayMetrics& metrics, QWidget* parent = nullptr);
    ~TDisplayPage() override;

    void btnTestDisplayClick();

    std::unique_ptr<Ui::TDisplayPage> ui;

private:
    const TDisplayMetrics& m_metrics;
};
