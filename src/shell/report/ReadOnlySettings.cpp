#include "shell/report/ReadOnlySettings.h"

#include "platform/settings/MemoryRegistry.h"
#include "platform/settings/RegFile.h"
#include "platform/settings/RegFileStore.h"

#include <cerrno>
#include <cstring>

namespace tavora {

SettingsSnapshot loadSettingsReadOnly() {
    const std::filesystem::path path = RegFileStore::defaultPaths().currentUser;
    const QString name = QString::fromStdString(path.string());
    MemoryRegistry snapshot;
    QString origin;
    std::string text;
    switch (readRegFileText(path, text)) {
    case RegFileRead::Missing:
        origin = QString("no settings file at %1 (defaults)").arg(name);
        break;
    case RegFileRead::Failed:
        // There is a file (or a folder in its place), but its settings are not
        // what the check uses: say so rather than claim them.
        origin = QString("settings file %1 cannot be read: %2 (defaults)")
                     .arg(name, QString::fromLocal8Bit(std::strerror(errno)));
        break;
    case RegFileRead::Ok: {
        const std::optional<RegFileDocument> document = parseRegFile(text);
        const std::string keyName = regKeyFullName(RegRoot::CurrentUser, SettingsKeyPath);
        const RegFileKey* key = document ? document->findKey(keyName) : nullptr;
        if (key)
            for (const RegFileValue& value : key->values)
                snapshot.put(RegRoot::CurrentUser, SettingsKeyPath, value.name, value.value);
        origin = document ? QString("settings from %1").arg(name)
                          : QString("unreadable settings file %1 (defaults)").arg(name);
        break;
    }
    }
    return {loadSettings(snapshot), origin};
}

} // namespace tavora
