#include "shell/report/DisplayCheck.h"

#include "shell/DisplayMetrics.h"
#include "shell/DisplayPage.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace tavora {

CheckResult checkDisplay(const DisplayMetrics* metrics) {
    CheckResult result{"display", true, {}, {}};
    if (!metrics) {
        result.detail = "no display (not checked)";
        result.figures = {{"display", false}};
        return result;
    }
    const QSize size = metrics->screenSize();
    const DisplayVerdict verdict = judgeDisplay(size, metrics->dpi());
    result.ok = verdict.resolutionOk && verdict.dpiOk;
    result.detail = QString("%1x%2 pixels %3, %4 DPI %5")
                        .arg(size.width())
                        .arg(size.height())
                        .arg(verdict.resolutionOk ? "(ok)" : "(below 1024x768)")
                        .arg(metrics->dpi())
                        .arg(verdict.dpiOk ? "(ok)" : "(not 96)");
    result.figures = {{"display", true},
                      {"width", size.width()},
                      {"height", size.height()},
                      {"dpi", metrics->dpi()},
                      {"resolution_ok", verdict.resolutionOk},
                      {"dpi_ok", verdict.dpiOk}};
    return result;
}

bool displayReachable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && (std::strcmp(platform, "offscreen") == 0 || std::strcmp(platform, "minimal") == 0))
        return false;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland)
        return true;
    const char* x11 = std::getenv("DISPLAY");
    if (!x11 || !*x11)
        return false;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const bool ok = !xcb_connection_has_error(c);
    xcb_disconnect(c);
    return ok;
}

} // namespace tavora
