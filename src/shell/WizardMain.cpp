#include "shell/WizardMain.h"

#include "platform/audio/PulseAudioPlatform.h"
#include "platform/settings/RegFileStore.h"
#include "shell/DesktopProxy.h"
#include "shell/DisplayMetrics.h"
#include "shell/MainForm.h"
#include "shell/WizardApplication.h"
#include "settings/RegistryValues.h"

#include <QLoggingCategory>

#include <QTimer>

Q_LOGGING_CATEGORY(lcSettings, "tavora.settings")

int WizardMain(int argc, char** argv, const std::function<void(TfMain&)>& shown) {
    TWizardApplication app(argc, argv);
    // The settings file store, with its notices (a file kept aside because it
    // could not be read) in the log.
    auto store = std::make_shared<TRegFileStore>(TRegFileStore::DefaultPaths());
    store->SetNoticeHandler([](const std::string& notice) { qCWarning(lcSettings) << notice.c_str(); });
    SetSettingsRegistry(store);
    TScreenMetrics displayMetrics;
    tavora::platform::audio::PulseAudioPlatform audio;
    TWizardServices services{displayMetrics, audio, std::make_shared<TLibproxyLookup>()};
    TfMain fMain(app.arguments().mid(1), services);
    fMain.show();
    // Showing a page lets pending events run, so a close asked for meanwhile
    // (by the window manager, say) may already have happened; the event loop
    // would then never hear of it and run on without a window.
    if (fMain.Closed())
        return 0;
    if (shown)
        QTimer::singleShot(0, &fMain, [&] { shown(fMain); });
    return app.exec();
}
