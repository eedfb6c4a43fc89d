// An exception that no handler catches ends in the application's error box,
// and the program goes on.
#include "shell/WizardApplication.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <stdexcept>

using namespace tavora;

int main(int argc, char** argv) {
    WizardApplication app(argc, argv);
    QPushButton button("Throw");
    QObject::connect(&button, &QPushButton::clicked,
                     [] { throw std::runtime_error("'' is not a valid integer value"); });
    button.show();

    QString shown;
    int clicksAfter = 0;
    QTimer::singleShot(0, [&] { button.click(); });
    // The box is modal: read it and close it from a timer.
    QTimer::singleShot(100, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    // The program goes on: the button still works after the error.
    QTimer::singleShot(300, [&] {
        QObject::connect(&button, &QPushButton::pressed, [&] { ++clicksAfter; });
        QObject::disconnect(&button, &QPushButton::clicked, nullptr, nullptr);
        button.click();
        app.quit();
    });
    app.exec();

    const bool ok = shown == "'' is not a valid integer value" && clicksAfter == 1;
    std::printf("box text: \"%s\", clicks after: %d\n", qPrintable(shown), clicksAfter);
    std::printf("%s\n", ok ? "1 passed, 0 failed" : "0 passed, 1 failed");
    return ok ? 0 : 1;
}
