#pragma once

// Speaker level, microphone level and microphone boost of a mixer. Every call
// opens mixer `MixerId` (the number of the wave device the user picked),
// finds its line and control afresh, reads or writes one value and closes
// the mixer again; nothing is kept between calls. None of them throws: false
// means the value could not be read or written.
//
// Levels are 0..65535, the same numbers as the level sliders, written to and
// read from the volume control without scaling. The boost is the first
// channel's value of the first control whose name contains "boost" (in any
// case) on the first microphone line of the mixer.

#include <cstdint>

class QLabel;
class QSlider;

namespace tavora::platform::audio {
class AudioPlatform;
}

namespace tavora::audio {

bool getSpeakerVolume(platform::audio::AudioPlatform& platform, std::uint32_t MixerId, std::uint16_t& value);
bool setSpeakerVolume(platform::audio::AudioPlatform& platform, std::uint32_t MixerId, std::uint16_t value);
bool getMicVolume(platform::audio::AudioPlatform& platform, std::uint32_t MixerId, std::uint16_t& value);
bool setMicVolume(platform::audio::AudioPlatform& platform, std::uint32_t MixerId, std::uint16_t value);
bool getMicBoost(platform::audio::AudioPlatform& platform, std::uint32_t MixerId, std::uint32_t& value);
bool setMicBoost(platform::audio::AudioPlatform& platform, std::uint32_t MixerId, std::uint32_t value);

// Loads the microphone level of input device AudioInDeviceID into
// microphoneLevelSlider and the speaker level of output device AudioOutDeviceID into
// speakerLevelSlider (range 0..65535). A slider whose level is not available is
// disabled at 0 and its label shown; otherwise it is enabled and its label
// hidden. The sliders' signals are blocked while they are positioned, so
// their change handlers write nothing back. Either slider (with its label)
// may be null when the caller has only the other.
void refreshLevelControls(platform::audio::AudioPlatform& platform, std::uint32_t audioInDeviceID,
                          std::uint32_t audioOutDeviceID, QSlider* microphoneLevelSlider, QLabel* microphoneLevelUnavailableLabel,
                          QSlider* speakerLevelSlider, QLabel* speakerLevelUnavailableLabel);

} // namespace tavora::audio
