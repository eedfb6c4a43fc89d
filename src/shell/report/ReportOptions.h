#pragma once

#include <QStringList>

namespace tavora {

// What the command line asks for. The headless report is asked for only by an
// option in first place (--check, --json, --help, --version); every other
// command line starts the window exactly as before.
struct ReportOptions {
    enum class Mode { Window, Check, Help, Version, UsageError };
    Mode mode = Mode::Window;
    bool json = false;
    // --target HOST[:PORT]: the connection check's target instead of the
    // service's test host (for example a classroom's own relay).
    QString targetHost;
    int targetPort = 0; // 0: the service's port
    QString error;      // for UsageError
};

// `arguments` excludes the program name.
ReportOptions parseReportOptions(const QStringList& arguments);

// The text of --help.
QString reportUsage();

} // namespace tavora
