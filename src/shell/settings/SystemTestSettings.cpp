#include "shell/settings/SystemTestSettings.h"

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

void Write(std::string_view name, TRegistryValue value) {
    WriteRegistryValue(SettingsKeyPath, name, value, true);
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
    Write("AudioOutDeviceID", s.AudioOutDeviceID);
    Write("AudioInDeviceID", s.AudioInDeviceID);
    Write("AudioOutDeviceName", s.AudioOutDeviceName);
    Write("AudioInDeviceName", s.AudioInDeviceName);
    Write("UseProxy", s.UseProxy);
    Write("SocksVersion", s.SocksVersion);
    Write("ProxyHost", s.ProxyHost);
    Write("ProxyPort", s.ProxyPort);
    Write("ProxyAuthentication", s.ProxyAuthentication);
    Write("ProxyUserName", s.ProxyUserName);
    Write("ProxyPassword", ScramblePassword(s.ProxyPassword));
}
