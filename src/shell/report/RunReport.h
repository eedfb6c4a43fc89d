#pragma once

#include "shell/report/ReportOptions.h"

namespace tavora {

// Runs the headless readiness report (or prints help or the version) and
// answers the exit status: 0 every check passed, 1 a check failed, 2 usage.
int runReport(const ReportOptions& options, int argc, char** argv);

} // namespace tavora
