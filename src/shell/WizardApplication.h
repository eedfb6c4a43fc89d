#pragma once

#include <QApplication>

namespace tavora {

// The application object. It sets the program's design face, and it is the
// one place where an exception that no handler caught ends up: the message is
// shown in the standard error box and the wizard goes on, as no exception may
// unwind through Qt's event loop.
class WizardApplication : public QApplication {
    Q_OBJECT
public:
    WizardApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows `message` in the standard error box.
    static void showException(const QString& message);
};

} // namespace tavora
