#include "shell/WizardApplication.h"

#include "controls/Accessibility.h"
#include "controls/DesignFont.h"

#include <QFile>
#include <QLocale>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QTranslator>

#include <memory>

namespace tavora {

Q_DECLARE_LOGGING_CATEGORY(lcShell)

namespace {
// The object name of the translators useLanguage installs.
const char* const TranslatorName = "tavoraTranslator";

// The wizard's translations are built in under :/i18n (see src/CMakeLists.txt).
QString translationFile(const QString& code) {
    return "tavora-wizard_" + code;
}

QString chooseLanguage(const QStringList& uiLanguages) {
    for (const QString& name : uiLanguages) {
        const QLocale::Language language = QLocale(name).language();
        if (language == QLocale::English || name == "C" || name == "POSIX")
            return "en";
        const QString code = QLocale::languageToCode(language);
        if (QFile::exists(":/i18n/" + translationFile(code) + ".qm"))
            return code;
    }
    return "en";
}
} // namespace

WizardApplication::WizardApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("tavora-wizard");
    useLanguage({});
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

QString WizardApplication::useLanguage(const QStringList& uiLanguages) {
    for (QTranslator* earlier :
         qApp->findChildren<QTranslator*>(TranslatorName, Qt::FindDirectChildrenOnly)) {
        removeTranslator(earlier);
        delete earlier;
    }
    const QString language = chooseLanguage(uiLanguages);
    if (language != "en") {
        // Built in by the build (qt_add_translations, and Qt's own copied
        // from qt6-translations-l10n), so nothing needs to be installed beside.
        for (const QString& file : {translationFile(language), "qtbase_" + language}) {
            auto translator = std::make_unique<QTranslator>();
            if (translator->load(file, ":/i18n")) {
                // The application owns it from here, and finds it by name.
                translator->setObjectName(TranslatorName);
                translator->setParent(qApp);
                installTranslator(translator.release());
            } else {
                qCWarning(lcShell) << "no translation" << file << "built in";
            }
        }
    }
    qApp->setApplicationDisplayName(tr("Tavora Live System Test Wizard"));
    return language;
}

} // namespace tavora
