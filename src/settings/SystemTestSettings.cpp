#include "settings/SystemTestSettings.h"

namespace tavora {

SystemTestSettings globalSettings;

namespace {

std::int32_t readInteger(std::string_view name) {
    return std::get<std::int32_t>(readRegistryValue(SettingsKeyPath, name, ValueKind::Int32, true));
}

bool readBoolean(std::string_view name) {
    return std::get<bool>(readRegistryValue(SettingsKeyPath, name, ValueKind::Boolean, true));
}

std::string readString(std::string_view name) {
    return std::get<std::string>(readRegistryValue(SettingsKeyPath, name, ValueKind::String, true));
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

} // namespace

void loadSettings() {
    SystemTestSettings& s = globalSettings;
    s.useProxy = readBoolean("UseProxy");
    const std::int32_t socksVersion = readInteger("SocksVersion");
    s.socksVersion = socksVersion > -1 ? static_cast<std::uint8_t>(socksVersion & 0xff) : 0;
    s.proxyHost = readString("ProxyHost");
    s.proxyPort = readInteger("ProxyPort");
    if (s.proxyPort == -1)
        s.proxyPort = 1080;
    s.proxyAuthentication = readBoolean("ProxyAuthentication");
    s.proxyUserName = readString("ProxyUserName");
    const std::string scrambled = readString("ProxyPassword");
    // A stored form longer than any password can have is unreadable: no
    // offsets exist for it.
    s.proxyPassword = scrambled.size() <= MaxPasswordLength ? unscramblePassword(scrambled) : std::string();
    s.audioOutDeviceID = readInteger("AudioOutDeviceID");
    s.audioInDeviceID = readInteger("AudioInDeviceID");
    if (s.audioOutDeviceID < 0)
        s.audioOutDeviceID = 0;
    if (s.audioInDeviceID < 0)
        s.audioInDeviceID = 0;
    s.audioOutDeviceName = readString("AudioOutDeviceName");
    s.audioInDeviceName = readString("AudioInDeviceName");
}

void saveSettings() {
    const SystemTestSettings& s = globalSettings;
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
    RegistryWriteBatch batch(SettingsKeyPath, true);
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
    if (dynamic_cast<const PasswordNotStorableError*>(&error))
        return std::string(error.what()) +
               " The other settings were saved; the proxy password saved before is kept.";
    std::string text = "The settings cannot be saved";
    if (!error.location.empty())
        text += " to " + error.location;
    if (!error.reason.empty())
        text += ": " + error.reason;
    text += '.';
    if (error.stored.empty())
        return text + " None of them were stored; the settings saved before stay.";
    return text + " Stored: " + joined(error.stored) + ". Not stored: " + joined(error.notStored) +
           " (they keep the values saved before).";
}

} // namespace tavora
