// The wizard as the program starts it, with its connection test aimed at a
// loopback port, each attempt limited to LIMIT milliseconds, and started as
// soon as the window is shown. Each text the result line shows is printed on
// a line of its own (the long failure text cut short). With --wait the test
// is aimed but waits for the participant's press of the button.
// Usage: attempt_driver [--wait] PORT LIMIT [WIZARD ARGUMENTS...]
#include "shell/ConnectionPage.h"
#include "shell/MainWindow.h"
#include "shell/WizardMain.h"

#include <QColor>
#include <QObject>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace tavora;

int main(int argc, char** argv) {
    const bool wait = argc >= 2 && std::strcmp(argv[1], "--wait") == 0;
    if (wait) {
        argv[1] = argv[0];
        ++argv;
        --argc;
    }
    const int port = argc >= 3 ? std::atoi(argv[1]) : 0;
    const int limit = argc >= 3 ? std::atoi(argv[2]) : 0;
    if (port <= 0 || port > 65535 || limit <= 0) {
        std::fprintf(stderr, "usage: %s [--wait] PORT LIMIT [WIZARD ARGUMENTS...]\n", argv[0]);
        return 2;
    }
    std::vector<char*> arguments{argv[0]};
    arguments.insert(arguments.end(), argv + 3, argv + argc);
    int count = int(arguments.size());
    arguments.push_back(nullptr);
    return wizardMain(count, arguments.data(), [port, limit, wait](MainWindow& window) {
        ConnectionPage& page = *window.connectionPage();
        page.connectionTestHost = "127.0.0.1";
        page.connectionTestPort = port;
        page.connectionTimeoutMs = limit;
        QObject::connect(&page, &ConnectionPage::resultShown, [](const QString& text, const QColor&) {
            std::printf("%s\n", qPrintable(text.left(40)));
            std::fflush(stdout);
        });
        if (!wait)
            page.runConnectionTest();
    });
}
