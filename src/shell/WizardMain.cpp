#include "shell/WizardMain.h"

#include "platform/audio/PulseAudioPlatform.h"
#include "platform/settings/RegFileStore.h"
#include "shell/DesktopProxy.h"
#include "shell/DisplayMetrics.h"
#include "shell/MainWindow.h"
#include "shell/WizardApplication.h"

#include <QLocale>
#include <QLoggingCategory>

#include <QTimer>

namespace tavora {

Q_LOGGING_CATEGORY(lcSettings, "tavora.settings")

int wizardMain(int argc, char** argv, const std::function<void(MainWindow&)>& shown) {
    WizardApplication app(argc, argv);
    // The window speaks the desktop's language (LANGUAGE, LC_ALL, LC_MESSAGES,
    // LANG); the readiness report, which never gets here, stays English.
    WizardApplication::useLanguage(QLocale::system().uiLanguages());
    // The settings file store, with its notices (a file kept aside because it
    // could not be read) in the log.
    auto store = std::make_shared<RegFileStore>(RegFileStore::defaultPaths());
    store->setNoticeHandler([](const std::string& notice) { qCWarning(lcSettings) << notice.c_str(); });
    ScreenMetrics displayMetrics;
    tavora::platform::audio::PulseAudioPlatform audio;
    WizardServices services{displayMetrics, audio, std::make_shared<LibproxyLookup>(), store};
    MainWindow window(app.arguments().mid(1), services);
    window.show();
    // Showing a page lets pending events run, so a close asked for meanwhile
    // (by the window manager, say) may already have happened; the event loop
    // would then never hear of it and run on without a window.
    if (window.closed())
        return 0;
    if (shown)
        QTimer::singleShot(0, &window, [&] { shown(window); });
    return app.exec();
}

} // namespace tavora
