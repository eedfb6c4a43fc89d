#include "settings/SystemTestSettings.h"

#include <QCoreApplication>

namespace tavora {

namespace {

std::int32_t readInteger(Registry& registry, std::string_view name) {
    return std::get<std::int32_t>(readRegistryValue(registry, SettingsKeyPath, name, ValueKind::Int32, true));
}

bool readBoolean(Registry& registry, std::string_view name) {
    return std::get<bool>(readRegistryValue(registry, SettingsKeyPath, name, ValueKind::Boolean, true));
}

std::string readString(Registry& registry, std::string_view name) {
    return std::get<std::string>(readRegistryValue(registry, SettingsKeyPath, name, ValueKind::String, true));
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

} // namespace

SystemTestSettings loadSettings(Registry& registry) {
    SystemTestSettings s;
    s.useProxy = readBoolean(registry, "UseProxy");
    const std::int32_t socksVersion = readInteger(registry, "SocksVersion");
    s.socksVersion = socksVersion > -1 ? static_cast<std::uint8_t>(socksVersion & 0xff) : 0;
    s.proxyHost = readString(registry, "ProxyHost");
    s.proxyPort = readInteger(registry, "ProxyPort");
    if (s.proxyPort == -1)
        s.proxyPort = 1080;
    s.proxyAuthentication = readBoolean(registry, "ProxyAuthentication");
    s.proxyUserName = readString(registry, "ProxyUserName");
    const std::string scrambled = readString(registry, "ProxyPassword");
    // A stored form longer than any password can have is unreadable: no
    // offsets exist for it.
    s.proxyPassword = scrambled.size() <= MaxPasswordLength ? unscramblePassword(scrambled) : std::string();
    s.audioOutDeviceID = readInteger(registry, "AudioOutDeviceID");
    s.audioInDeviceID = readInteger(registry, "AudioInDeviceID");
    if (s.audioOutDeviceID < 0)
        s.audioOutDeviceID = 0;
    if (s.audioInDeviceID < 0)
        s.audioInDeviceID = 0;
    s.audioOutDeviceName = readString(registry, "AudioOutDeviceName");
    s.audioInDeviceName = readString(registry, "AudioInDeviceName");
    return s;
}

void saveSettings(const SystemTestSettings& s, Registry& registry) {
    const std::pair<std::string_view, RegistryValue> beforePassword[] = {
        {"AudioOutDeviceID", s.audioOutDeviceID},
        {"AudioInDeviceID", s.audioInDeviceID},
        {"AudioOutDeviceName", s.audioOutDeviceName},
        {"AudioInDeviceName", s.audioInDeviceName},
        {"UseProxy", s.useProxy},
        {"SocksVersion", s.socksVersion},
        {"ProxyHost", s.proxyHost},
        {"ProxyPort", s.proxyPort},
        {"ProxyAuthentication", s.proxyAuthentication},
        {"ProxyUserName", s.proxyUserName},
    };
    RegistryWriteBatch batch(registry, SettingsKeyPath, true);
    for (const auto& [name, value] : beforePassword)
        batch.write(name, value);
    std::string scrambled;
    try {
        scrambled = scramblePassword(s.proxyPassword);
    } catch (PasswordNotStorableError& e) {
        // The values before the password are stored all the same, as the
        // save stops only at the value it cannot write.
        batch.commit();
        for (const auto& [name, value] : beforePassword)
            e.stored.emplace_back(name);
        e.notStored = {"ProxyPassword"};
        throw;
    }
    batch.write("ProxyPassword", scrambled);
    batch.commit();
}

std::string saveFailureText(const RegistryError& error) {
    // In the window's language where the window loaded one (the texts'
    // context is "Settings"); English otherwise.
    if (dynamic_cast<const PasswordNotStorableError*>(&error))
        return (QCoreApplication::translate("Settings", error.what()) + ' ' +
                QCoreApplication::translate(
                    "Settings", "The other settings were saved; the proxy password saved before is kept."))
            .toStdString();
    const QString location = QString::fromStdString(error.location);
    const QString reason = QString::fromStdString(error.reason);
    QString text;
    if (!location.isEmpty() && !reason.isEmpty())
        text = QCoreApplication::translate("Settings", "The settings cannot be saved to %1: %2.")
                   .arg(location, reason);
    else if (!location.isEmpty())
        text = QCoreApplication::translate("Settings", "The settings cannot be saved to %1.").arg(location);
    else if (!reason.isEmpty())
        text = QCoreApplication::translate("Settings", "The settings cannot be saved: %1.").arg(reason);
    else
        text = QCoreApplication::translate("Settings", "The settings cannot be saved.");
    text += ' ';
    if (error.stored.empty())
        text += QCoreApplication::translate("Settings",
                                            "None of them were stored; the settings saved before stay.");
    else
        text += QCoreApplication::translate("Settings",
                                            "Stored: %1. Not stored: %2 (they keep the values saved before).")
                    .arg(QString::fromStdString(joined(error.stored)),
                         QString::fromStdString(joined(error.notStored)));
    return text.toStdString();
}

} // namespace tavora
