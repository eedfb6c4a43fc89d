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

    // The window's language: the first of `uiLanguages` (the desktop's, most
    // wanted first, as QLocale::uiLanguages() lists them) that the wizard
    // speaks. Installs the wizard's translation and Qt's own (the message
    // boxes' standard buttons), both built into the program, in place of
    // those of an earlier call, and names the program in that language.
    // English, the language the texts are written in, when an English or C
    // entry comes first or none is translated. Returns the language's code:
    // "en", or that of a built-in translation ("de", "fr", "es").
    static QString useLanguage(const QStringList& uiLanguages);
};

} // namespace tavora
