#pragma once

// The device objects of the PulseAudio platform. Called with the main loop
// lock held; `device` names the sink or source (empty: the server's default,
// following it when it changes).

#include "platform/audio/PulseConnection.h"

namespace tavora::platform::audio {

// What the output and input devices share: their stream, the notification
// target and the header rules. Every member runs with the main loop locked.
// A derived class must drop the stream in its own destructor, under the
// lock, so that no callback reaches a half-destroyed object.
class PulseStreamDevice {
protected:
    PulseStreamDevice(std::shared_ptr<PulseAudioPlatform::Connection> connection, std::string device,
                      const StreamFormat& format, const pa_sample_spec& sampleSpec, QObject* target);
    ~PulseStreamDevice() = default;

    // A new stream in the device's sample format and the channel order of
    // wave files; null when libpulse refuses.
    pa_stream* newStream(const char* name);
    // After a connect: waits until the stream runs, then posts
    // `openMessage`; otherwise drops it and answers why.
    MmResult waitUntilReady(WaveMessage openMessage);
    void dropStream();
    // Corks or uncorks the stream; with `untilDone`, returns once the server
    // has done it (or after a bounded wait).
    void cork(bool on, bool untilDone = false);
    bool ready() const { return stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY; }
    void post(WaveMessage message, WaveHeader* header);

    MmResult prepare(WaveHeader& header);
    MmResult unprepare(WaveHeader& header);
    // Refused while buffers are queued; otherwise ends the stream and posts
    // `closeMessage`, the last notification of the device.
    MmResult closeStream(bool anyQueued, WaveMessage closeMessage);

    std::shared_ptr<PulseAudioPlatform::Connection> c_;
    std::string device_;
    StreamFormat fmt_;
    pa_sample_spec spec_;
    QObject* target_;
    pa_stream* stream_ = nullptr;
    bool closed_ = false;
    bool failed_ = false; // the stream died under us: nothing more plays or records
};

// Open a stream of `format`, whose server sample spec is `sampleSpec`.
MmResult openPulseWaveOut(const std::shared_ptr<PulseAudioPlatform::Connection>& connection,
                          const std::string& device, const StreamFormat& format,
                          const pa_sample_spec& sampleSpec, QObject* target,
                          std::unique_ptr<WaveOutDevice>& opened);
MmResult openPulseWaveIn(const std::shared_ptr<PulseAudioPlatform::Connection>& connection,
                         const std::string& device, const StreamFormat& format,
                         const pa_sample_spec& sampleSpec, QObject* target,
                         std::unique_ptr<WaveInDevice>& opened);
// Mixer of sink `sink` and source `source` (either may be absent: empty).
std::unique_ptr<Mixer> makePulseMixer(const std::shared_ptr<PulseAudioPlatform::Connection>& connection,
                                      const PulseDevice* sink, const PulseDevice* source);

} // namespace tavora::platform::audio
