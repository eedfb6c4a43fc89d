#pragma once

// The wizard's nine settings, and the names of the two chosen devices beside
// their numbers. The window owns the record, loaded when it is created and
// stored when it closes (and when a playing sample is stopped).
// They live in the key SettingsKeyPath under HKEY_CURRENT_USER, one value per
// field, named like the field; the classroom client reads the same values.

#include "settings/PasswordScrambling.h"
#include "settings/RegistryValues.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tavora {

inline constexpr std::string_view SettingsKeyPath = "SOFTWARE\\Norvik\\Tavora Live\\Browser";

struct SystemTestSettings {
    std::int32_t audioOutDeviceID = 0; // position in the output device list
    std::int32_t audioInDeviceID = 0;  // position in the input device list
    bool useProxy = false;
    std::uint8_t socksVersion = 0; // 0 none, 1 SOCKS 4, 2 SOCKS 4A, 3 SOCKS 5
    std::string proxyHost;
    std::int32_t proxyPort = 0;
    bool proxyAuthentication = false;
    std::string proxyUserName;
    std::string proxyPassword; // plain in memory, scrambled when stored
    // The sound server's names of the chosen devices, so that a choice is
    // found again when the lists change order; empty: none remembered.
    std::string audioOutDeviceName;
    std::string audioInDeviceName;

    bool operator==(const SystemTestSettings&) const = default;
};

// Reads the eleven values from one state of the key; never fails. Missing or
// unreadable values give a first run's settings: devices 0, no proxy, SOCKS
// version 0, empty host, port 1080, no authentication, empty user and
// password, no device names.
SystemTestSettings loadSettings(Registry& registry);

// Writes the eleven values of the record, the device names right
// after the device numbers, as one change of the registry
// (RegistryWriteBatch): a crash leaves all old values or all new ones.
// Throws RegistryError at the first value that is refused, leaving it and
// the later ones unwritten; PasswordNotStorableError (an RegistryError) when
// the password cannot be stored, after the other ten
// values were written and with the stored password left as it was.
void saveSettings(const SystemTestSettings& settings, Registry& registry);

// A failed save in words, for the participant: that the settings cannot be
// saved, where and why, and which values were stored all the same.
std::string saveFailureText(const RegistryError& error);

} // namespace tavora
