#include "shell/WizardMain.h"
#include "shell/report/RunReport.h"

#include <QStringList>

#include <cstdio>
#include <cstdlib>

using namespace tavora;

namespace {
// Qt aborts with a toolkit error when no display can be opened; say plainly
// what is missing instead.
bool displayAvailable() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}
} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ReportOptions options = parseReportOptions(arguments);
    if (options.mode != ReportOptions::Mode::Window)
        return runReport(options, argc, argv);
    if (!displayAvailable()) {
        std::fputs("tavora-wizard: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "Start the wizard from a desktop session, or run 'tavora-wizard --check' for a\n"
                   "report without a window.\n",
                   stderr);
        return 1;
    }
    return wizardMain(argc, argv);
}
