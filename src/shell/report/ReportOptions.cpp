#include "shell/report/ReportOptions.h"

namespace tavora {

namespace {
bool isReportOption(const QString& argument) {
    return argument == "--check" || argument == "--json" || argument == "--help" || argument == "-h" ||
           argument == "--version" || argument == "--target" || argument.startsWith("--target=");
}

// HOST or HOST:PORT with a port of 1 to 65535.
bool parseTarget(const QString& text, QString& host, int& port) {
    const int colon = text.lastIndexOf(':');
    host = colon < 0 ? text : text.left(colon);
    port = 0;
    if (colon >= 0) {
        bool ok = false;
        port = text.mid(colon + 1).toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return false;
    }
    return !host.isEmpty() && !host.contains(':');
}
} // namespace

ReportOptions parseReportOptions(const QStringList& arguments) {
    ReportOptions options;
    if (arguments.isEmpty() || !isReportOption(arguments.first()))
        return options;
    bool check = false, help = false, version = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == "--target" || argument.startsWith("--target=")) {
            const QString value = argument == "--target" ? arguments.value(++i) : argument.mid(9);
            if (!parseTarget(value, options.targetHost, options.targetPort)) {
                options.mode = ReportOptions::Mode::UsageError;
                options.error = QString("--target needs HOST or HOST:PORT, not '%1'").arg(value);
                return options;
            }
        } else if (argument == "--check")
            check = true;
        else if (argument == "--json")
            options.json = true;
        else if (argument == "--help" || argument == "-h")
            help = true;
        else if (argument == "--version")
            version = true;
        else {
            options.mode = ReportOptions::Mode::UsageError;
            options.error = QString("unknown argument '%1'").arg(argument);
            return options;
        }
    }
    if (help)
        options.mode = ReportOptions::Mode::Help;
    else if (version)
        options.mode = ReportOptions::Mode::Version;
    else if (check)
        options.mode = ReportOptions::Mode::Check;
    else {
        options.mode = ReportOptions::Mode::UsageError;
        options.error = QString("%1 needs --check").arg(options.json ? "--json" : "--target");
    }
    return options;
}

QString reportUsage() {
    return "Usage: tavora-wizard [audio] [MESSAGE WINDOW]\n"
           "       tavora-wizard --check [--json] [--target HOST[:PORT]]\n"
           "       tavora-wizard --help | --version\n"
           "\n"
           "Without options, shows the Tavora Live System Test Wizard window. \"audio\" starts\n"
           "at the playback test; MESSAGE and WINDOW ask for an X11 client message to that\n"
           "window when the wizard closes.\n"
           "\n"
           "  --check    test this computer without a window and print a report; the exit\n"
           "             status is 0 when every check passes, 1 when one fails and 2 when\n"
           "             the command line cannot be used\n"
           "  --json     print the report as JSON (with --check)\n"
           "  --target HOST[:PORT]\n"
           "             test the connection to HOST (port 9910 unless given) instead of\n"
           "             the service's connection-test host\n"
           "  --help     show this text\n"
           "  --version  show the version\n"
           "\n"
           "The stored settings (device choices, proxy) are read, never written.\n";
}

} // namespace tavora
