#include "platform/audio/PulseDevices.h"

#include <QCoreApplication>

#include <utility>

namespace tavora::platform::audio {

namespace {
constexpr auto OpenTimeout = std::chrono::seconds(5);
constexpr auto CorkTimeout = std::chrono::seconds(2);
// How long a stream that is being let go of may take to be set up or ended
// by the server. Past it the server is not answering, and whatever it
// still holds goes with the connection.
constexpr auto SettleTimeout = std::chrono::seconds(2);
} // namespace

PulseStreamDevice::PulseStreamDevice(std::shared_ptr<PulseAudioPlatform::Connection> connection,
                                     std::string device, const StreamFormat& format,
                                     const pa_sample_spec& sampleSpec, QObject* target, Direction direction)
    : c_(std::move(connection)), device_(std::move(device)), fmt_(format), spec_(sampleSpec), target_(target),
      direction_(direction) {}

void PulseStreamDevice::onState(pa_stream* stream, void* userdata) {
    static_cast<PulseStreamDevice*>(userdata)->stateChanged(stream);
}

void PulseStreamDevice::onWrite(pa_stream* stream, std::size_t, void* userdata) {
    auto* self = static_cast<PulseStreamDevice*>(userdata);
    if (stream == self->stream_)
        self->streamWritable();
}

void PulseStreamDevice::onRead(pa_stream* stream, std::size_t, void* userdata) {
    auto* self = static_cast<PulseStreamDevice*>(userdata);
    if (stream == self->stream_)
        self->streamReadable();
}

void PulseStreamDevice::onUnderflow(pa_stream* stream, void* userdata) {
    auto* self = static_cast<PulseStreamDevice*>(userdata);
    if (stream == self->stream_)
        self->streamRanDry();
}

MmResult PulseStreamDevice::lostCause() const {
    if (!c_->context || !PA_CONTEXT_IS_GOOD(pa_context_get_state(c_->context)))
        return MMSYSERR_NODRIVER;
    // The server is there but ended the stream: its sink or source went away
    // (a stream on a chosen device is not moved elsewhere), or it refused
    // the stream while it was being set up.
    const int error = pa_context_errno(c_->context);
    if (error == PA_OK)
        return opening_ ? MMSYSERR_NODRIVER : MMSYSERR_BADDEVICEID;
    return pulseErrorToResult(error);
}

void PulseStreamDevice::stateChanged(pa_stream* stream) {
    const pa_stream_state_t state = pa_stream_get_state(stream);
    // A stream being let go of (no longer stream_) only wakes the wait for
    // its end; one that ends by itself takes the device with it.
    if (stream == stream_ && (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && !failed()) {
        failure_ = lostCause();
        const int error = c_->context ? pa_context_errno(c_->context) : PA_ERR_CONNECTIONTERMINATED;
        std::string text;
        waveErrorText(failure_, text);
        qCWarning(lcAudio).nospace() << (direction_ == Direction::Output ? "Output" : "Input")
                                     << " stream ended (" << (error ? pa_strerror(error) : "no reason given")
                                     << "): " << text.c_str();
        streamLost();
    }
    c_->signal();
}

MmResult PulseStreamDevice::openStream(const pa_buffer_attr& attr, pa_stream_flags_t flags,
                                       const pa_cvolume* volume) {
    dropStream();
    if (!c_->context || pa_context_get_state(c_->context) != PA_CONTEXT_READY) {
        failure_ = MMSYSERR_NODRIVER;
        return failure_;
    }
    pa_channel_map map;
    pa_channel_map_init_auto(&map, spec_.channels, PA_CHANNEL_MAP_WAVEEX);
    const bool output = direction_ == Direction::Output;
    pa_stream* s = pa_stream_new(c_->context, output ? "Wave output" : "Wave input", &spec_, &map);
    if (!s) {
        failure_ = c_->lastError();
        return failure_;
    }
    stream_ = s;
    pa_stream_set_state_callback(s, onState, this);
    if (output) {
        pa_stream_set_write_callback(s, onWrite, this);
        pa_stream_set_underflow_callback(s, onUnderflow, this);
    } else
        pa_stream_set_read_callback(s, onRead, this);
    // A device the participant chose is not swapped for another behind
    // their back: when it goes away the stream ends, and the run with it,
    // instead of moving to whatever device the server picks.
    if (!device_.empty())
        flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
    const char* name = device_.empty() ? nullptr : device_.c_str();
    opening_ = true;
    const int connected = output ? pa_stream_connect_playback(s, name, &attr, flags, volume, nullptr)
                                 : pa_stream_connect_record(s, name, &attr, flags);
    if (connected < 0) {
        opening_ = false;
        failure_ = c_->lastError(MMSYSERR_NODRIVER);
        qCWarning(lcAudio) << "Cannot open the audio device:" << pa_strerror(pa_context_errno(c_->context));
        dropStream();
        return failure_;
    }
    c_->waitFor([s] { return pa_stream_get_state(s) != PA_STREAM_CREATING; }, OpenTimeout);
    opening_ = false;
    // The wait released the lock: a reset on another thread may have let go
    // of this stream meanwhile. That is no failure; the caller looks again.
    if (stream_ != s || ready())
        return MMSYSERR_NOERROR;
    if (stream_ && pa_stream_get_state(stream_) == PA_STREAM_CREATING) {
        // No answer is no success: a server that cannot place the stream on
        // a device (a PipeWire without its session manager) never answers.
        qCWarning(lcAudio)
            << "Cannot open the audio device: the sound server did not set the stream up in time";
        failure_ = MMSYSERR_NODRIVER;
    } else if (!failed()) {
        failure_ = lostCause();
    }
    dropStream();
    return failure_;
}

void PulseStreamDevice::dropStream() {
    pa_stream* s = std::exchange(stream_, nullptr);
    if (!s)
        return;
    // Only the state callback stays, to wake the waits below; as the stream
    // is no longer stream_, it reaches none of the device's buffers.
    pa_stream_set_write_callback(s, nullptr, nullptr);
    pa_stream_set_underflow_callback(s, nullptr, nullptr);
    pa_stream_set_read_callback(s, nullptr, nullptr);
    c_->waitFor([s] { return pa_stream_get_state(s) != PA_STREAM_CREATING; }, SettleTimeout);
    if (pa_stream_get_state(s) == PA_STREAM_READY && pa_stream_disconnect(s) == 0)
        c_->waitFor([s] { return !PA_STREAM_IS_GOOD(pa_stream_get_state(s)); }, SettleTimeout);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
        qCWarning(lcAudio) << "The sound server did not confirm the end of a stream in time";
    pa_stream_set_state_callback(s, nullptr, nullptr);
    pa_stream_unref(s);
}

void PulseStreamDevice::cork(bool on, bool untilDone) {
    if (!ready())
        return;
    const Operation op(pa_stream_cork(stream_, on ? 1 : 0, nullptr, nullptr));
    if (untilDone && !c_->waitOperation(op, CorkTimeout))
        qCWarning(lcAudio) << "The sound server did not confirm a stream start or stop in time";
}

void PulseStreamDevice::post(WaveMessage message, WaveHeader* header) {
    if (target_)
        QCoreApplication::postEvent(target_, new WaveNotifyEvent(message, header));
}

MmResult PulseStreamDevice::prepare(WaveHeader& header) {
    MainloopLock lock(c_->loop);
    return closed_ ? MMSYSERR_INVALHANDLE : prepareWaveHeader(header);
}

MmResult PulseStreamDevice::unprepare(WaveHeader& header) {
    MainloopLock lock(c_->loop);
    return closed_ ? MMSYSERR_INVALHANDLE : unprepareWaveHeader(header);
}

MmResult PulseStreamDevice::closeStream(bool anyQueued, WaveMessage closeMessage) {
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (anyQueued)
        return WAVERR_STILLPLAYING;
    dropStream();
    closed_ = true;
    post(closeMessage, nullptr);
    return MMSYSERR_NOERROR;
}

} // namespace tavora::platform::audio
