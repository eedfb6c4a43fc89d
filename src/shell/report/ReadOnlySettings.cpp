#include "shell/report/ReadOnlySettings.h"

#include "platform/settings/MemoryRegistry.h"
#include "platform/settings/RegFile.h"
#include "platform/settings/RegFileStore.h"
#include "settings/SystemTestSettings.h"

#include <fstream>
#include <sstream>

QString LoadSettingsReadOnly() {
    const std::filesystem::path path = TRegFileStore::DefaultPaths().CurrentUser;
    auto snapshot = std::make_shared<TMemoryRegistry>();
    QString origin;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        origin = QString("no settings file at %1 (defaults)").arg(QString::fromStdString(path.string()));
    } else {
        std::stringstream text;
        text << file.rdbuf();
        const std::optional<TRegFileDocument> document = ParseRegFile(text.str());
        const std::string keyName = RegKeyFullName(TRegRoot::CurrentUser, SettingsKeyPath);
        const TRegFileKey* key = document ? document->FindKey(keyName) : nullptr;
        if (key)
            for (const TRegFileValue& value : key->Values)
                snapshot->Put(TRegRoot::CurrentUser, SettingsKeyPath, value.Name, value.Value);
        origin = document ? QString("settings from %1").arg(QString::fromStdString(path.string()))
                          : QString("unreadable settings file %1 (defaults)")
                                .arg(QString::fromStdString(path.string()));
    }
    SetSettingsRegistry(snapshot);
    LoadSettings();
    SetSettingsRegistry(nullptr);
    return origin;
}
