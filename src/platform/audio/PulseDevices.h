#pragma once

// The device objects of the PulseAudio platform. Called with the main loop
// lock held; `device` names the sink or source (empty: the server's default,
// following it when it changes).

#include "platform/audio/PulseConnection.h"

namespace tavora::platform::audio {

MmResult openPulseWaveOut(const std::shared_ptr<PulseAudioPlatform::Connection>& connection,
                          const std::string& device, const StreamFormat& format, QObject* target,
                          std::unique_ptr<WaveOutDevice>& opened);
MmResult openPulseWaveIn(const std::shared_ptr<PulseAudioPlatform::Connection>& connection,
                         const std::string& device, const StreamFormat& format, QObject* target,
                         std::unique_ptr<WaveInDevice>& opened);
// Mixer of sink `sink` and source `source` (either may be absent: empty).
std::unique_ptr<Mixer> makePulseMixer(const std::shared_ptr<PulseAudioPlatform::Connection>& connection,
                                      const PulseDevice* sink, const PulseDevice* source);

} // namespace tavora::platform::audio
