#include "shell/report/ReadOnlySettings.h"

#include "platform/settings/MemoryRegistry.h"
#include "platform/settings/RegFile.h"
#include "platform/settings/RegFileStore.h"
#include "settings/SystemTestSettings.h"

#include <cerrno>
#include <cstring>

QString LoadSettingsReadOnly() {
    const std::filesystem::path path = TRegFileStore::DefaultPaths().CurrentUser;
    const QString name = QString::fromStdString(path.string());
    auto snapshot = std::make_shared<TMemoryRegistry>();
    QString origin;
    std::string text;
    switch (ReadRegFileText(path, text)) {
    case TRegFileRead::Missing:
        origin = QString("no settings file at %1 (defaults)").arg(name);
        break;
    case TRegFileRead::Failed:
        // There is a file (or a folder in its place), but its settings are not
        // what the check uses: say so rather than claim them.
        origin = QString("settings file %1 cannot be read: %2 (defaults)")
                     .arg(name, QString::fromLocal8Bit(std::strerror(errno)));
        break;
    case TRegFileRead::Ok: {
        const std::optional<TRegFileDocument> document = ParseRegFile(text);
        const std::string keyName = RegKeyFullName(TRegRoot::CurrentUser, SettingsKeyPath);
        const TRegFileKey* key = document ? document->FindKey(keyName) : nullptr;
        if (key)
            for (const TRegFileValue& value : key->Values)
                snapshot->Put(TRegRoot::CurrentUser, SettingsKeyPath, value.Name, value.Value);
        origin = document ? QString("settings from %1").arg(name)
                          : QString("unreadable settings file %1 (defaults)").arg(name);
        break;
    }
    }
    SetSettingsRegistry(snapshot);
    LoadSettings();
    SetSettingsRegistry(nullptr);
    return origin;
}
