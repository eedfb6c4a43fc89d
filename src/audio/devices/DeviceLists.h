#pragma once

// The lists of wave input and output devices that the microphone and
// playback pages offer. Entry k of a list is used as wave device number k and
// as mixer number k; device 0, the system's default, carries the suffix
// " (Windows Default)".

#include <QStringList>

#include <cstdint>

namespace tavora::platform::audio {
class AudioPlatform;
}

namespace tavora::audio {

inline constexpr const char* DefaultDeviceSuffix = " (Windows Default)";

// Replaces the contents of `Strings` with one entry per wave input device.
// A device whose capability query fails adds no entry.
void ListWaveInDevices(platform::audio::AudioPlatform& platform, QStringList& Strings);
// The same for wave output devices.
void ListWaveOutDevices(platform::audio::AudioPlatform& platform, QStringList& Strings);

// A stored device identifier as the platform's device number. Stored
// identifiers are never negative once loaded; one that were would name no
// device rather than the mapper.
std::uint32_t WaveDeviceNumber(std::int32_t id);
// A stored identifier that names no entry of `devices` (a device was
// removed) falls back to the default device, 0.
void KeepStoredDeviceInList(std::int32_t& id, const QStringList& devices);

} // namespace tavora::audio
