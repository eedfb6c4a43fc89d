// Runs the display test on the X server named by DISPLAY and checks the
// verdicts against what the caller says that server is.
// Usage: display_x11_probe WIDTH HEIGHT DPI
#include "controls/FontColour.h"
#include "shell/DisplayMetrics.h"
#include "shell/DisplayPage.h"
#include "ui_DisplayPage.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

using namespace tavora;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT DPI\n", argv[0]);
        return 2;
    }
    const int width = std::atoi(argv[1]), height = std::atoi(argv[2]), dpi = std::atoi(argv[3]);
    QApplication app(argc, argv);
    ScreenMetrics metrics;
    DisplayPage page(metrics);
    page.show();
    page.ui->testDisplayButton->click();

    const QSize measured = metrics.screenSize();
    std::printf("measured %dx%d at %d DPI\n", measured.width(), measured.height(), metrics.dpi());
    int failures = 0;
    auto check = [&](bool ok, const char* what) {
        if (!ok) {
            std::fprintf(stderr, "FAIL: %s\n", what);
            ++failures;
        }
    };
    check(measured == QSize(width, height), "screen size in device pixels");
    check(metrics.dpi() == dpi, "DPI");
    const bool resolutionOk = width >= 1024 && height >= 768;
    check((page.ui->resolutionResultLabel->text() == "Screen resolution - OK") == resolutionOk, "resolution text");
    check(fontColour(page.ui->resolutionResultLabel) == (resolutionOk ? FontColours::Green : FontColours::Red),
          "resolution colour");
    check((page.ui->dpiResultLabel->text() == "Screen DPI - OK") == (dpi == 96), "DPI text");
    check(fontColour(page.ui->dpiResultLabel) == (dpi == 96 ? FontColours::Green : FontColours::Red), "DPI colour");
    return failures == 0 ? 0 : 1;
}
