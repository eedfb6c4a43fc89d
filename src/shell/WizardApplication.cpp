#include "shell/WizardApplication.h"

#include "controls/Accessibility.h"
#include "controls/DesignFont.h"

#include <QLoggingCategory>
#include <QMessageBox>

namespace tavora {

Q_DECLARE_LOGGING_CATEGORY(lcShell)

WizardApplication::WizardApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("tavora-wizard");
    setApplicationDisplayName("Tavora Live System Test Wizard");
    setDesktopFileName("tavora-wizard");
    // The design face for every widget of the program: the window, its pages,
    // the dialogs and the message boxes. It is set before any widget exists:
    // a widget under a style sheet keeps the font it was polished with, and
    // would not follow a later change.
    setFont(designFont());
    // What a screen reader is told of the windows, before the first one is built.
    installAccessibility();
}

bool WizardApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showException(tr("An unexpected error occurred."));
    }
    return false;
}

void WizardApplication::showException(const QString& message) {
    qCWarning(lcShell) << "unhandled error:" << message;
    QMessageBox::critical(activeWindow(), applicationDisplayName(), message);
}

} // namespace tavora
