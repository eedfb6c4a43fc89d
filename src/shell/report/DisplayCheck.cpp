#include "shell/report/DisplayCheck.h"

#include "shell/DisplayMetrics.h"
#include "shell/DisplayPage.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

TCheckResult CheckDisplay(const TDisplayMetrics* metrics) {
    TCheckResult result{"display", true, {}, {}};
    if (!metrics) {
        result.Detail = "no display (not checked)";
        result.Figures = {{"display", false}};
        return result;
    }
    const QSize size = metrics->ScreenSize();
    const TDisplayVerdict verdict = JudgeDisplay(size, metrics->Dpi());
    result.Ok = verdict.ResolutionOk && verdict.DpiOk;
    result.Detail = QString("%1x%2 pixels %3, %4 DPI %5")
                        .arg(size.width())
                        .arg(size.height())
                        .arg(verdict.ResolutionOk ? "(ok)" : "(below 1024x768)")
                        .arg(metrics->Dpi())
                        .arg(verdict.DpiOk ? "(ok)" : "(not 96)");
    result.Figures = {{"display", true},
                      {"width", size.width()},
                      {"height", size.height()},
                      {"dpi", metrics->Dpi()},
                      {"resolution_ok", verdict.ResolutionOk},
                      {"dpi_ok", verdict.DpiOk}};
    return result;
}

bool DisplayReachable() {
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
