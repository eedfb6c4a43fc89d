#include "platform/audio/PulseDevices.h"

#include <QCoreApplication>

namespace tavora::platform::audio {

namespace {
constexpr auto OpenTimeout = std::chrono::seconds(5);
constexpr auto CorkTimeout = std::chrono::seconds(2);
}

PulseStreamDevice::PulseStreamDevice(std::shared_ptr<PulseAudioPlatform::Connection> connection,
                                     std::string device, const StreamFormat& format,
                                     const pa_sample_spec& sampleSpec, QObject* target)
    : c_(std::move(connection)), device_(std::move(device)), fmt_(format), spec_(sampleSpec),
      target_(target) {}

pa_stream* PulseStreamDevice::newStream(const char* name) {
    pa_channel_map map;
    pa_channel_map_init_auto(&map, spec_.channels, PA_CHANNEL_MAP_WAVEEX);
    return pa_stream_new(c_->context, name, &spec_, &map);
}

MmResult PulseStreamDevice::waitUntilReady(WaveMessage openMessage) {
    pa_stream* s = stream_;
    c_->waitFor(
        [s] {
            const pa_stream_state_t st = pa_stream_get_state(s);
            return st == PA_STREAM_READY || !PA_STREAM_IS_GOOD(st);
        },
        OpenTimeout);
    if (ready()) {
        post(openMessage, nullptr);
        return MMSYSERR_NOERROR;
    }
    qCWarning(lcAudio) << "Cannot open the audio device:" << pa_strerror(pa_context_errno(c_->context));
    dropStream();
    return c_->lastError();
}

void PulseStreamDevice::dropStream() {
    if (!stream_)
        return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)))
        pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
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
    MainloopLock lock(c_->loop);
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
