#include "settings/SystemTestSettings.h"

TSystemTestSettings SystemTestSettings;

namespace {

std::int32_t ReadInteger(std::string_view name) {
    return std::get<std::int32_t>(ReadRegistryValue(SettingsKeyPath, name, ValueKind::Int32, true));
}

bool ReadBoolean(std::string_view name) {
    return std::get<bool>(ReadRegistryValue(SettingsKeyPath, name, ValueKind::Boolean, true));
}

std::string ReadString(std::string_view name) {
    return std::get<std::string>(ReadRegistryValue(SettingsKeyPath, name, ValueKind::String, true));
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

} // namespace

void LoadSettings() {
    TSystemTestSettings& s = SystemTestSettings;
    s.UseProxy = ReadBoolean("UseProxy");
    const std::int32_t socksVersion = ReadInteger("SocksVersion");
    s.SocksVersion = socksVersion > -1 ? static_cast<std::uint8_t>(socksVersion & 0xff) : 0;
    s.ProxyHost = ReadString("ProxyHost");
    s.ProxyPort = ReadInteger("ProxyPort");
    if (s.ProxyPort == -1)
        s.ProxyPort = 1080;
    s.ProxyAuthentication = ReadBoolean("ProxyAuthentication");
    s.ProxyUserName = ReadString("ProxyUserName");
    const std::string scrambled = ReadString("ProxyPassword");
    // A stored form longer than any password can have is unreadable: no
    // offsets exist for it.
    s.ProxyPassword = scrambled.size() <= MaxPasswordLength ? UnscramblePassword(scrambled) : std::string();
    s.AudioOutDeviceID = ReadInteger("AudioOutDeviceID");
    s.AudioInDeviceID = ReadInteger("AudioInDeviceID");
    if (s.AudioOutDeviceID < 0)
        s.AudioOutDeviceID = 0;
    if (s.AudioInDeviceID < 0)
        s.AudioInDeviceID = 0;
    s.AudioOutDeviceName = ReadString("AudioOutDeviceName");
    s.AudioInDeviceName = ReadString("AudioInDeviceName");
}

void SaveSettings() {
    const TSystemTestSettings& s = SystemTestSettings;
    const std::pair<std::string_view, TRegistryValue> beforePassword[] = {
        {"AudioOutDeviceID", s.AudioOutDeviceID},
        {"AudioInDeviceID", s.AudioInDeviceID},
        {"AudioOutDeviceName", s.AudioOutDeviceName},
        {"AudioInDeviceName", s.AudioInDeviceName},
        {"UseProxy", s.UseProxy},
        {"SocksVersion", s.SocksVersion},
        {"ProxyHost", s.ProxyHost},
        {"ProxyPort", s.ProxyPort},
        {"ProxyAuthentication", s.ProxyAuthentication},
        {"ProxyUserName", s.ProxyUserName},
    };
    TRegistryWriteBatch batch(SettingsKeyPath, true);
    for (const auto& [name, value] : beforePassword)
        batch.Write(name, value);
    std::string scrambled;
    try {
        scrambled = ScramblePassword(s.ProxyPassword);
    } catch (EPasswordNotStorable& e) {
        // The values before the password are stored all the same, as the
        // save stops only at the value it cannot write.
        batch.Commit();
        for (const auto& [name, value] : beforePassword)
            e.Stored.emplace_back(name);
        e.NotStored = {"ProxyPassword"};
        throw;
    }
    batch.Write("ProxyPassword", scrambled);
    batch.Commit();
}

std::string SaveFailureText(const ERegistryError& error) {
    if (dynamic_cast<const EPasswordNotStorable*>(&error))
        return std::string(error.what()) +
               " The other settings were saved; the proxy password saved before is kept.";
    std::string text = "The settings cannot be saved";
    if (!error.Location.empty())
        text += " to " + error.Location;
    if (!error.Reason.empty())
        text += ": " + error.Reason;
    text += '.';
    if (error.Stored.empty())
        return text + " None of them were stored; the settings saved before stay.";
    return text + " Stored: " + Joined(error.Stored) + ". Not stored: " + Joined(error.NotStored) +
           " (they keep the values saved before).";
}
