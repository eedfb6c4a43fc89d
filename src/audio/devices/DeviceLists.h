#pragma once

// The lists of wave input and output devices that the microphone and
// playback pages offer. Entry k of a list is used as wave device number k and
// as mixer number k; device 0, the system's default, carries the suffix
// " (Windows Default)".

#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace tavora::platform::audio {
class AudioPlatform;
}

namespace tavora::audio {

// Translated in the context "DeviceLists" (the readiness report, which loads
// no translation, keeps it English).
inline constexpr const char* DefaultDeviceSuffix = QT_TRANSLATE_NOOP("DeviceLists", " (Windows Default)");
// The mark in the language of the window: the lists end entry 0 with it, and
// the closed boxes keep it whole.
QString defaultDeviceMark();

// Replaces the contents of `strings` with one entry per wave input device.
// A device whose capability query fails adds no entry. An entry shows the
// device's whole product name where the platform knows it (the capability
// record holds only 32 bytes). `names`, when given, receives the sound
// server's name of each entry's device, empty where the platform has none.
void listWaveInDevices(platform::audio::AudioPlatform& platform, QStringList& strings,
                       std::vector<std::string>* names = nullptr);
// The same for wave output devices.
void listWaveOutDevices(platform::audio::AudioPlatform& platform, QStringList& strings,
                        std::vector<std::string>* names = nullptr);

// A stored device identifier as the platform's device number. Stored
// identifiers are never negative once loaded; one that were would name no
// device rather than the mapper.
std::uint32_t waveDeviceNumber(std::int32_t id);
// Where a stored device choice is found in a list of `count` entries whose
// devices carry the server names `names`: the entry of the remembered name
// `name` wherever it stands now (devices plugged in or reordered move it);
// without that name in the list, or without a name, entry `id` when the
// list has it; otherwise entry 0, the default device. `count` is above 0.
struct StoredChoice {
    enum Match { ByName, ByNumber, Default };
    int Entry;
    Match Match;
};
StoredChoice findStoredDevice(std::int32_t id, const std::string& name, int count,
                               const std::vector<std::string>& names);
// Page entry: the entry to select for the stored choice (`id`, `name`);
// `id` becomes that entry. A remembered name that is not in the list is
// kept, so the device is found again once it is back; without one, the
// selected entry's device is remembered from now on, except entry 0 (the
// default device), which is stored as the number 0 without a name.
int keepStoredDeviceInList(std::int32_t& id, std::string& name, int count,
                           const std::vector<std::string>& names);
// The participant picked entry `picked`: it becomes the stored choice, with
// its device's name unless it is entry 0, the default device.
void storePickedDevice(int picked, std::int32_t& id, std::string& name,
                       const std::vector<std::string>& names);

} // namespace tavora::audio
