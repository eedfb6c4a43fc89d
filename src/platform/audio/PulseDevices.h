#pragma once

// The device objects of the PulseAudio platform. Called with the main loop
// lock held; `device` names the sink or source (empty: the server's default,
// following it when it changes).

#include "platform/audio/PulseConnection.h"

namespace tavora::platform::audio {

// What the output and input devices share: the one owner of their server
// stream (create, connect, wait until it runs, disconnect, wait until the
// server has ended it, unreference), the notification target and the header
// rules. Every member runs with the main loop locked, and locked once only:
// a wait for the server releases one level of the lock, and a second level
// would keep the main loop from ever answering.
//
// A stream is never let go of while the server may still hold it: a stream
// still being created is waited for before it is disconnected (libpulse
// refuses to disconnect it until then, and the server would keep it until
// the program ends), and the disconnect is waited for too, so that a device
// that has been reset, closed or destroyed leaves nothing on the server.
//
// A derived class must drop the stream in its own destructor, under the
// lock, so that no callback reaches a half-destroyed object.
class PulseStreamDevice {
protected:
    enum class Direction { Output, Input };

    PulseStreamDevice(std::shared_ptr<PulseAudioPlatform::Connection> connection, std::string device,
                      const StreamFormat& format, const pa_sample_spec& sampleSpec, QObject* target,
                      Direction direction);
    virtual ~PulseStreamDevice() = default;
    PulseStreamDevice(const PulseStreamDevice&) = delete;
    PulseStreamDevice& operator=(const PulseStreamDevice&) = delete;

    // Creates a stream in the device's sample format and the channel order
    // of wave files, connects it with `attr` and `flags` (and, for output,
    // `volume`) and waits until it runs. Anything else drops it again and
    // answers why; the device is then failed (see failure()). A stream let
    // go of by another thread during the wait is no failure: stream_ is
    // then null.
    MmResult openStream(const pa_buffer_attr& attr, pa_stream_flags_t flags, const pa_cvolume* volume);
    // Ends the stream on the server and lets go of it; nothing when there is
    // none. While it waits for the server the lock is released, so the
    // stream is taken out of stream_ first: other callers see no stream.
    void dropStream();
    bool ready() const { return stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY; }
    // Corks or uncorks the stream; with `untilDone`, returns once the server
    // has done it (or after a bounded wait).
    void cork(bool on, bool untilDone = false);
    void post(WaveMessage message, WaveHeader* header);

    // Why the device no longer plays or records (its device was removed:
    // MMSYSERR_BADDEVICEID; the sound server went away: MMSYSERR_NODRIVER);
    // MMSYSERR_NOERROR while it works.
    MmResult failure() const { return failure_; }
    bool failed() const { return failure_ != MMSYSERR_NOERROR; }

    MmResult prepare(WaveHeader& header);
    MmResult unprepare(WaveHeader& header);
    // Refused while buffers are queued; otherwise ends the stream and posts
    // `closeMessage`, the last notification of the device.
    MmResult closeStream(bool anyQueued, WaveMessage closeMessage);

    // Called on the main loop's thread: the server wants audio (output),
    // has audio (input), or ended the stream without being asked (the
    // device has failed by then; every queued buffer must come back).
    virtual void streamWritable() {}
    virtual void streamReadable() {}
    // Output only: the server has played everything it was given.
    virtual void streamRanDry() {}
    virtual void streamLost() = 0;

    std::shared_ptr<PulseAudioPlatform::Connection> c_;
    std::string device_;
    StreamFormat fmt_;
    pa_sample_spec spec_;
    QObject* target_;
    pa_stream* stream_ = nullptr;
    bool closed_ = false;

private:
    static void onState(pa_stream* stream, void* userdata);
    static void onWrite(pa_stream* stream, std::size_t bytes, void* userdata);
    static void onRead(pa_stream* stream, std::size_t bytes, void* userdata);
    static void onUnderflow(pa_stream* stream, void* userdata);
    void stateChanged(pa_stream* stream);
    // The failure a stream that ended by itself stands for.
    MmResult lostCause() const;

    Direction direction_;
    MmResult failure_ = MMSYSERR_NOERROR;
    bool opening_ = false; // a stream is being set up
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

// What both of them do: build the device, connect it, and hand it out only
// once its stream runs.
template <typename Device, typename Interface>
MmResult openPulseDevice(const std::shared_ptr<PulseAudioPlatform::Connection>& connection,
                         const std::string& device, const StreamFormat& format,
                         const pa_sample_spec& sampleSpec, QObject* target,
                         std::unique_ptr<Interface>& opened) {
    auto d = std::make_unique<Device>(connection, device, format, sampleSpec, target);
    if (MmResult r = d->connect())
        return r;
    opened = std::move(d);
    return MMSYSERR_NOERROR;
}

// Mixer of sink `sink` and source `source` (either may be absent: empty).
std::unique_ptr<Mixer> makePulseMixer(const std::shared_ptr<PulseAudioPlatform::Connection>& connection,
                                      const PulseDevice* sink, const PulseDevice* source);

} // namespace tavora::platform::audio
