#include "settings/SystemTestSettings.h"

#include <QCoreApplication>

namespace tavora {

namespace {

std::int32_t readInteger(const RegistryReader& reader, std::string_view name) {
    return std::get<std::int32_t>(reader.read(name, ValueKind::Int32));
}

bool readBoolean(const RegistryReader& reader, std::string_view name) {
    return std::get<bool>(reader.read(name, ValueKind::Boolean));
}

std::string readString(const RegistryReader& reader, std::string_view name) {
    return std::get<std::string>(reader.read(name, ValueKind::String));
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

} // namespace

SystemTestSettings loadSettings(Registry& registry) {
    const RegistryReader reader(registry, SettingsKeyPath, true);
    SystemTestSettings s;
    s.useProxy = readBoolean(reader, "UseProxy");
    const std::int32_t socksVersion = readInteger(reader, "SocksVersion");
    s.socksVersion = socksVersion > -1 ? static_cast<std::uint8_t>(socksVersion & 0xff) : 0;
    s.proxyHost = readString(reader, "ProxyHost");
    s.proxyPort = readInteger(reader, "ProxyPort");
    if (s.proxyPort == -1)
        s.proxyPort = 1080;
    s.proxyAuthentication = readBoolean(reader, "ProxyAuthentication");
    s.proxyUserName = readString(reader, "ProxyUserName");
    const std::string scrambled = readString(reader, "ProxyPassword");
    // A stored form longer than any password can have is unreadable: no
    // offsets exist for it.
    s.proxyPassword = scrambled.size() <= MaxPasswordLength ? unscramblePassword(scrambled) : std::string();
    s.audioOutDeviceID = readInteger(reader, "AudioOutDeviceID");
    s.audioInDeviceID = readInteger(reader, "AudioInDeviceID");
    if (s.audioOutDeviceID < 0)
        s.audioOutDeviceID = 0;
    if (s.audioInDeviceID < 0)
        s.audioInDeviceID = 0;
    s.audioOutDeviceName = readString(reader, "AudioOutDeviceName");
    s.audioInDeviceName = readString(reader, "AudioInDeviceName");
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
