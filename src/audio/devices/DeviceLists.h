#pragma once

// The lists of wave input and output devices that the microphone and
// playback pages offer. Entry k of a list is used as wave device number k and
// as mixer number k; device 0, the system's default, carries the suffix
// " (Windows Default)".

#include <QStringList>

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

} // namespace tavora::audio
