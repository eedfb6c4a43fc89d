// Runs the display test on the X server named by DISPLAY and checks the
// verdicts against what the caller says that server is.
// Usage: display_x11_probe WIDTH HEIGHT DPI
#include "controls/FontColour.h"
#include "shell/DisplayMetrics.h"
#include "shell/DisplayPage.h"
#include "ui_TDisplayPage.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT DPI\n", argv[0]);
        return 2;
    }
    const int width = std::atoi(argv[1]), height = std::atoi(argv[2]), dpi = std::atoi(argv[3]);
    QApplication app(argc, argv);
    TScreenMetrics metrics;
    TDisplayPage page(metrics);
    page.show();
    page.ui->btnTestDisplay->click();

    const QSize measured = metrics.ScreenSize();
    std::printf("measured %dx%d at %d DPI\n", measured.width(), measured.height(), metrics.Dpi());
    int failures = 0;
    auto check = [&](bool ok, const char* what) {
        if (!ok) {
            std::fprintf(stderr, "FAIL: %s\n", what);
            ++failures;
        }
    };
    check(measured == QSize(width, height), "screen size in device pixels");
    check(metrics.Dpi() == dpi, "DPI");
    const bool resolutionOk = width >= 1024 && height >= 768;
    check((page.ui->Label11->text() == "Screen resolution - OK") == resolutionOk, "resolution text");
    check(FontColour(page.ui->Label11) == (resolutionOk ? FontColours::Green : FontColours::Red),
          "resolution colour");
    check((page.ui->Label33->text() == "Screen DPI - OK") == (dpi == 96), "DPI text");
    check(FontColour(page.ui->Label33) == (dpi == 96 ? FontColours::Green : FontColours::Red), "DPI colour");
    return failures == 0 ? 0 : 1;
}
