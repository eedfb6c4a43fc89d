#pragma once

#include "shell/report/Report.h"

namespace tavora {

class DisplayMetrics;

// The display test's verdicts on `metrics`; without a display (null) the
// check passes with "no display", as there is nothing to judge.
CheckResult checkDisplay(const DisplayMetrics* metrics);

// Whether a desktop display can be opened: an X server that accepts a
// connection, or a Wayland socket named in the environment.
bool displayReachable();

} // namespace tavora
