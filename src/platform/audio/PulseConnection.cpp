#include "platform/audio/PulseConnection.h"

#include <algorithm>
#include <type_traits>

namespace tavora {

Q_LOGGING_CATEGORY(lcAudio, "tavora.audio")

namespace platform::audio {

namespace {

constexpr auto ConnectTimeout = std::chrono::seconds(5);

void signalLoop(pa_threaded_mainloop* loop) {
    pa_threaded_mainloop_signal(loop, 0);
}

extern "C" void onContextState(pa_context*, void* userdata) {
    signalLoop(static_cast<pa_threaded_mainloop*>(userdata));
}

extern "C" void onTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    signalLoop(static_cast<pa_threaded_mainloop*>(userdata));
}

extern "C" void onOperationState(pa_operation*, void* userdata) {
    signalLoop(static_cast<pa_threaded_mainloop*>(userdata));
}

template <typename Info> struct ListRequest {
    pa_threaded_mainloop* loop;
    std::vector<PulseDevice>* out;
    bool done = false;
    bool ok = true;
};

template <typename Info> void onInfo(pa_context*, const Info* info, int eol, void* userdata) {
    auto* r = static_cast<ListRequest<Info>*>(userdata);
    if (eol != 0) {
        r->ok = eol > 0;
        r->done = true;
        signalLoop(r->loop);
        return;
    }
    // A monitor records what a sink plays: it is no input device.
    if constexpr (std::is_same_v<Info, pa_source_info>)
        if (info->monitor_of_sink != PA_INVALID_INDEX)
            return;
    PulseDevice d;
    d.name = info->name ? info->name : "";
    d.description = info->description && *info->description ? info->description : d.name;
    d.index = info->index;
    d.channels = info->sample_spec.channels;
    d.channelMap = info->channel_map;
    d.volume = info->volume;
    d.mute = info->mute != 0;
    r->out->push_back(std::move(d));
}

struct ServerRequest {
    pa_threaded_mainloop* loop;
    std::string sink;
    std::string source;
    bool done = false;
};

extern "C" void onServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
    auto* r = static_cast<ServerRequest*>(userdata);
    if (info) {
        r->sink = info->default_sink_name ? info->default_sink_name : "";
        r->source = info->default_source_name ? info->default_source_name : "";
    }
    r->done = true;
    signalLoop(r->loop);
}

// Puts the device named `first` in front, keeping the others in order.
void defaultFirst(std::vector<PulseDevice>& devices, const std::string& first) {
    auto it =
        std::find_if(devices.begin(), devices.end(), [&](const PulseDevice& d) { return d.name == first; });
    if (it != devices.end())
        std::rotate(devices.begin(), it, it + 1);
}

} // namespace

PulseAudioPlatform::Connection::Connection(std::string serverName, std::string appName)
    : server(std::move(serverName)), applicationName(std::move(appName)) {
    loadPulseLibrary();
    loop = pa_threaded_mainloop_new();
    if (!loop)
        throw std::bad_alloc();
    pa_threaded_mainloop_set_name(loop, "tavora-audio");
    if (pa_threaded_mainloop_start(loop) < 0) {
        pa_threaded_mainloop_free(loop);
        throw std::runtime_error("The audio main loop could not be started");
    }
}

PulseAudioPlatform::Connection::~Connection() {
    {
        MainloopLock lock(loop);
        dropContext();
    }
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
}

void PulseAudioPlatform::Connection::dropContext() {
    if (!context)
        return;
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
}

bool PulseAudioPlatform::Connection::waitFor(const std::function<bool()>& done,
                                             std::chrono::milliseconds timeout) {
    if (done())
        return true;
    if (pa_threaded_mainloop_in_thread(loop))
        return false; // waiting here would block the loop that must answer
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    if (!context)
        return false; // nothing could ever wake us
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    // Wakes the wait below at the deadline even if the server never answers.
    pa_time_event* timer = pa_context_rttime_new(
        context, pa_rtclock_now() + static_cast<pa_usec_t>(timeout.count()) * 1000, onTimer, loop);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        pa_threaded_mainloop_wait(loop);
    if (timer)
        api->time_free(timer);
    return done();
}

bool PulseAudioPlatform::Connection::waitOperation(const Operation& op, std::chrono::milliseconds timeout) {
    if (!op)
        return false;
    pa_operation_set_state_callback(op.get(), onOperationState, loop);
    const bool ended =
        waitFor([&] { return pa_operation_get_state(op.get()) != PA_OPERATION_RUNNING; }, timeout);
    pa_operation_set_state_callback(op.get(), nullptr, nullptr);
    if (!ended)
        pa_operation_cancel(op.get());
    return ended && pa_operation_get_state(op.get()) == PA_OPERATION_DONE;
}

bool PulseAudioPlatform::Connection::ensureConnected() {
    if (context) {
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY)
            return true;
        if (!PA_CONTEXT_IS_GOOD(state)) {
            qCWarning(lcAudio) << "Lost the sound server:" << pa_strerror(pa_context_errno(context));
            dropContext();
        }
    }
    if (!context) {
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), applicationName.c_str());
        if (!context)
            return false;
        pa_context_set_state_callback(context, onContextState, loop);
        // Never start a daemon of our own: no server means no devices.
        if (pa_context_connect(context, server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN,
                               nullptr) < 0) {
            qCWarning(lcAudio) << "Cannot reach the sound server:" << pa_strerror(pa_context_errno(context));
            dropContext();
            return false;
        }
    }
    pa_context* c = context;
    waitFor(
        [c] {
            const pa_context_state_t s = pa_context_get_state(c);
            return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        },
        ConnectTimeout);
    if (pa_context_get_state(context) == PA_CONTEXT_READY)
        return true;
    qCWarning(lcAudio) << "Cannot connect to the sound server:" << pa_strerror(pa_context_errno(context));
    dropContext();
    return false;
}

bool PulseAudioPlatform::Connection::serverDefaults(std::string& sink, std::string& source) {
    ServerRequest r{loop, {}, {}};
    Operation op(pa_context_get_server_info(context, onServerInfo, &r));
    if (!op || !waitFor([&] { return r.done; }, std::chrono::seconds(10))) {
        pa_operation_cancel(op.get());
        return false;
    }
    sink = r.sink;
    source = r.source;
    return true;
}

template <typename Info, typename Start>
bool PulseAudioPlatform::Connection::collect(std::vector<PulseDevice>& out, Start start) {
    ListRequest<Info> r{loop, &out};
    Operation op(start(onInfo<Info>, &r));
    if (op && waitFor([&] { return r.done; }, std::chrono::seconds(10)) && r.ok)
        return true;
    if (op)
        pa_operation_cancel(op.get());
    return false;
}

bool PulseAudioPlatform::Connection::sinks(std::vector<PulseDevice>& out) {
    out.clear();
    std::string defSink, defSource;
    if (!ensureConnected() || !serverDefaults(defSink, defSource))
        return false;
    if (!collect<pa_sink_info>(
            out, [&](auto cb, void* r) { return pa_context_get_sink_info_list(context, cb, r); })) {
        out.clear();
        return false;
    }
    defaultFirst(out, defSink);
    return true;
}

bool PulseAudioPlatform::Connection::sources(std::vector<PulseDevice>& out) {
    out.clear();
    std::string defSink, defSource;
    if (!ensureConnected() || !serverDefaults(defSink, defSource))
        return false;
    if (!collect<pa_source_info>(
            out, [&](auto cb, void* r) { return pa_context_get_source_info_list(context, cb, r); })) {
        out.clear();
        return false;
    }
    defaultFirst(out, defSource);
    return true;
}

bool PulseAudioPlatform::Connection::sinkByName(const std::string& name, PulseDevice& out) {
    std::vector<PulseDevice> found;
    if (!ensureConnected() ||
        !collect<pa_sink_info>(found,
                               [&](auto cb, void* r) {
                                   return pa_context_get_sink_info_by_name(context, name.c_str(), cb, r);
                               }) ||
        found.empty())
        return false;
    out = found.front();
    return true;
}

bool PulseAudioPlatform::Connection::sourceByName(const std::string& name, PulseDevice& out) {
    std::vector<PulseDevice> found;
    if (!ensureConnected() ||
        !collect<pa_source_info>(found,
                                 [&](auto cb, void* r) {
                                     return pa_context_get_source_info_by_name(context, name.c_str(), cb, r);
                                 }) ||
        found.empty())
        return false;
    out = found.front();
    return true;
}

MmResult PulseAudioPlatform::Connection::lastError(MmResult fallback) const {
    if (!context)
        return MMSYSERR_NODRIVER;
    const MmResult r = pulseErrorToResult(pa_context_errno(context));
    return r == MMSYSERR_NOERROR ? fallback : r;
}

bool pulseSampleSpec(const StreamFormat& format, pa_sample_spec& sampleSpec) {
    sampleSpec.rate = format.rate;
    sampleSpec.channels = static_cast<std::uint8_t>(format.channels);
    switch (format.kind) {
    case StreamFormat::Kind::Gsm:
        sampleSpec.format = PA_SAMPLE_S16LE;
        break;
    case StreamFormat::Kind::Float:
        sampleSpec.format = PA_SAMPLE_FLOAT32LE;
        break;
    case StreamFormat::Kind::Pcm:
        switch (format.bitsPerSample) {
        case 8:
            sampleSpec.format = PA_SAMPLE_U8;
            break;
        case 16:
            sampleSpec.format = PA_SAMPLE_S16LE;
            break;
        case 24:
            sampleSpec.format = PA_SAMPLE_S24LE;
            break;
        case 32:
            sampleSpec.format = PA_SAMPLE_S32LE;
            break;
        default:
            return false;
        }
        break;
    }
    return pa_sample_spec_valid(&sampleSpec) != 0;
}

MmResult pulseErrorToResult(int error) {
    // Every server error maps onto the wave code whose text says what went
    // wrong; MMSYSERR_ERROR, which says nothing, is left for errors libpulse
    // does not name.
    switch (error) {
    case PA_OK:
        return MMSYSERR_NOERROR;
    case PA_ERR_NOENTITY:
    case PA_ERR_KILLED: // the server ended a stream: its device went away
        return MMSYSERR_BADDEVICEID;
    case PA_ERR_ACCESS:
    case PA_ERR_BUSY:
    case PA_ERR_EXIST:
        return MMSYSERR_ALLOCATED;
    case PA_ERR_INVALID:
    case PA_ERR_BADSTATE:
        return MMSYSERR_INVALPARAM;
    case PA_ERR_NOTSUPPORTED:
        return WAVERR_BADFORMAT;
    case PA_ERR_COMMAND:
    case PA_ERR_NOTIMPLEMENTED:
    case PA_ERR_NOEXTENSION:
    case PA_ERR_OBSOLETE:
        return MMSYSERR_NOTSUPPORTED;
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_CONNECTIONTERMINATED:
    case PA_ERR_INVALIDSERVER:
    case PA_ERR_NODATA:
    case PA_ERR_TIMEOUT:
    case PA_ERR_PROTOCOL:
    case PA_ERR_AUTHKEY:
    case PA_ERR_INTERNAL:
    case PA_ERR_VERSION:
    case PA_ERR_MODINITFAILED:
    case PA_ERR_IO:
    case PA_ERR_FORKED:
    case PA_ERR_UNKNOWN:
        return MMSYSERR_NODRIVER;
    case PA_ERR_TOOLARGE:
        return MMSYSERR_NOMEM;
    default:
        return MMSYSERR_ERROR;
    }
}

} // namespace platform::audio

} // namespace tavora
