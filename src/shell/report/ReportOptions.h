#pragma once

#include <QStringList>

// What the command line asks for. The headless report is asked for only by an
// option in first place (--check, --json, --help, --version); every other
// command line starts the window exactly as before.
struct TReportOptions {
    enum class TMode { Window, Check, Help, Version, UsageError };
    TMode Mode = TMode::Window;
    bool Json = false;
    // --target HOST[:PORT]: the connection check's target instead of the
    // service's test host (for example a classroom's own relay).
    QString TargetHost;
    int TargetPort = 0; // 0: the service's port
    QString Error;      // for UsageError
};

// `arguments` excludes the program name.
TReportOptions ParseReportOptions(const QStringList& arguments);

// The text of --help.
QString ReportUsage();
