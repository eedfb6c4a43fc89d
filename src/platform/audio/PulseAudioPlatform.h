#pragma once

// The audio platform on a PulseAudio server (PulseAudio itself, or PipeWire's
// PulseAudio service), through libpulse's threaded main loop.
//
// Device 0 of each table is the server's default sink or source, followed by
// the other sinks or sources in the server's order; monitor sources are not
// input devices. Mixer k has the speakers destination (the volume of sink k)
// and the recording destination with one microphone source (the volume of
// source k); levels 0..65535 map linearly onto the server's 0..100 % scale.
// The codecs are the standard table: PCM and GSM 6.10 (libgsm).

#include "platform/audio/AudioPlatform.h"

#include <memory>
#include <mutex>
#include <string>

namespace tavora::platform::audio {

class PulseAudioPlatform : public AudioPlatform {
public:
    // `server` is a libpulse server string such as "unix:/run/x/native";
    // empty means the environment's choice (PULSE_SERVER, then the user's
    // session server). A daemon is never spawned. The connection is made at
    // the first call that needs the server, so a program that never reaches
    // its audio parts never waits for one. A failed or lost connection is
    // retried at the next call; until then there are no devices and opens
    // answer MMSYSERR_NODRIVER.
    explicit PulseAudioPlatform(std::string server = {},
                                std::string applicationName = "Tavora Live System Test Wizard");
    ~PulseAudioPlatform() override;

    PulseAudioPlatform(const PulseAudioPlatform&) = delete;
    PulseAudioPlatform& operator=(const PulseAudioPlatform&) = delete;

    // Connects if not connected; answers whether the server is reachable.
    bool connected();

    std::uint32_t waveOutCount() override;
    MmResult waveOutCaps(std::uint32_t deviceId, WaveOutCaps& caps) override;
    std::uint32_t waveInCount() override;
    MmResult waveInCaps(std::uint32_t deviceId, WaveInCaps& caps) override;
    // The sink's or source's description and name.
    MmResult waveOutNames(std::uint32_t deviceId, WaveDeviceNames& names) override;
    MmResult waveInNames(std::uint32_t deviceId, WaveDeviceNames& names) override;
    MmResult openWaveOut(std::unique_ptr<WaveOutDevice>* device, std::uint32_t deviceId,
                         const WaveFormatEx* format, QObject* callback, std::uint32_t flags) override;
    MmResult openWaveIn(std::unique_ptr<WaveInDevice>* device, std::uint32_t deviceId,
                        const WaveFormatEx* format, QObject* callback, std::uint32_t flags) override;
    std::uint32_t mixerCount() override;
    MmResult mixerCaps(std::uint32_t mixerId, MixerCaps& caps) override;
    MmResult openMixer(std::unique_ptr<Mixer>& mixer, std::uint32_t mixerId) override;
    CodecManager& codecManager() override;

    struct Connection; // the main loop and context, shared with open devices

private:
    // The connection's main loop (a thread of libpulse, and libpulse itself)
    // starts at the first call that needs it; never reset once made. Null
    // while libpulse cannot be loaded or its main loop started.
    std::shared_ptr<Connection> connection();

    const std::string server_;
    const std::string applicationName_;
    std::mutex connectionMutex_;
    std::shared_ptr<Connection> connection_;
    bool toldNoConnection_ = false;
    std::unique_ptr<CodecManager> codecs_;
};

// Level 0..65535 <-> the server's volume (0..PA_VOLUME_NORM = 0x10000).
std::uint32_t levelToPulseVolume(std::uint32_t level);
std::uint32_t pulseVolumeToLevel(std::uint32_t volume);

} // namespace tavora::platform::audio
