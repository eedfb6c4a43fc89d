#pragma once

// The device number of a wave device by its product name, as the private
// PulseAudio daemon names its pipe devices ("Pipe_Sink", "Pipe_Source").

#include "platform/audio/AudioPlatform.h"

#include <cstdint>
#include <string>

namespace tavora::test {

// -1 when no device of that direction carries the name.
inline std::int32_t waveDeviceNamed(platform::audio::AudioPlatform& platform, bool input,
                                    const std::string& name) {
    namespace pa = platform::audio;
    const std::uint32_t count = input ? platform.waveInCount() : platform.waveOutCount();
    for (std::uint32_t d = 0; d < count; ++d) {
        std::string found;
        if (input) {
            pa::WaveInCaps caps;
            if (platform.waveInCaps(d, caps) == pa::MMSYSERR_NOERROR)
                found = pa::fixedText(caps.productName);
        } else {
            pa::WaveOutCaps caps;
            if (platform.waveOutCaps(d, caps) == pa::MMSYSERR_NOERROR)
                found = pa::fixedText(caps.productName);
        }
        if (found == name)
            return static_cast<std::int32_t>(d);
    }
    return -1;
}

} // namespace tavora::test
