#include "platform/audio/PulseAudioPlatform.h"

#include "platform/audio/PulseDevices.h"
#include "platform/audio/TableCodecManager.h"

#include <algorithm>
#include <stdexcept>

namespace tavora::platform::audio {

std::uint32_t levelToPulseVolume(std::uint32_t level) {
    level = std::min<std::uint32_t>(level, 65535);
    return static_cast<std::uint32_t>((std::uint64_t{level} * PA_VOLUME_NORM + 65535 / 2) / 65535);
}

std::uint32_t pulseVolumeToLevel(std::uint32_t volume) {
    const std::uint64_t level = (std::uint64_t{volume} * 65535 + PA_VOLUME_NORM / 2) / PA_VOLUME_NORM;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(level, 65535)); // above 100 % reads as full
}

namespace {

template <typename Caps> void fillCaps(const PulseDevice& d, Caps& caps) {
    caps = Caps{};
    setFixedText(caps.productName, d.description);
    caps.formats = WAVE_FORMATS_ALL_STANDARD;
    caps.channels = static_cast<std::uint16_t>(std::min<int>(d.channels, 2));
    caps.driverVersion = 0x0100;
}

// The sink or source a device number stands for; WAVE_MAPPER gives the empty
// name (the server's default). Checks that the number exists.
MmResult resolveDevice(const std::vector<PulseDevice>& devices, std::uint32_t deviceId, std::string& name) {
    if (devices.empty())
        return deviceId == WAVE_MAPPER ? MMSYSERR_NODRIVER : MMSYSERR_BADDEVICEID;
    if (deviceId == WAVE_MAPPER) {
        name.clear();
        return MMSYSERR_NOERROR;
    }
    if (deviceId >= devices.size())
        return MMSYSERR_BADDEVICEID;
    name = devices[deviceId].name;
    return MMSYSERR_NOERROR;
}

// The checks and look-ups both directions make before opening a stream.
template <typename Interface, typename Open>
MmResult openStream(const std::shared_ptr<PulseAudioPlatform::Connection>& c, bool output,
                    std::unique_ptr<Interface>* device, std::uint32_t deviceId, const WaveFormatEx* format,
                    QObject* callback, std::uint32_t flags, Open open) {
    if (MmResult r = checkOpenFlags(flags, callback))
        return r;
    if (!c)
        return MMSYSERR_NODRIVER;
    MainloopLock lock(c->loop);
    std::vector<PulseDevice> devices;
    if (!(output ? c->sinks(devices) : c->sources(devices)))
        return MMSYSERR_NODRIVER;
    std::string name;
    if (MmResult r = resolveDevice(devices, deviceId, name))
        return r;
    StreamFormat fmt;
    if (MmResult r = checkWaveFormat(format, deviceId == WAVE_MAPPER || (flags & WAVE_MAPPED), fmt))
        return r;
    pa_sample_spec sampleSpec;
    if (!pulseSampleSpec(fmt, sampleSpec))
        return WAVERR_BADFORMAT;
    if (flags & WAVE_FORMAT_QUERY)
        return MMSYSERR_NOERROR;
    if (!device)
        return MMSYSERR_INVALPARAM;
    QObject* target = (flags & CALLBACK_TYPEMASK) == CALLBACK_NULL ? nullptr : callback;
    return open(c, name, fmt, sampleSpec, target, *device);
}

// Runs `query` on the connection with its main loop locked; `unreachable`
// when there is no connection (libpulse or its main loop missing).
template <typename Result, typename Query>
Result underLock(const std::shared_ptr<PulseAudioPlatform::Connection>& c, Result unreachable, Query query) {
    if (!c)
        return unreachable;
    MainloopLock lock(c->loop);
    return query(*c);
}

} // namespace

PulseAudioPlatform::PulseAudioPlatform(std::string server, std::string applicationName)
    : server_(std::move(server)), applicationName_(std::move(applicationName)),
      codecs_(std::make_unique<TableCodecManager>(TableCodecManager::standardDrivers())) {}

PulseAudioPlatform::~PulseAudioPlatform() = default;

std::shared_ptr<PulseAudioPlatform::Connection> PulseAudioPlatform::connection() {
    std::lock_guard lock(connectionMutex_);
    if (!connection_) {
        try {
            connection_ = std::make_shared<Connection>(server_, applicationName_);
        } catch (const std::runtime_error& e) {
            // Without libpulse or its main loop no server can be reached: no
            // devices, and opens answer MMSYSERR_NODRIVER, as with a server
            // that is down. The next call tries again.
            if (!toldNoConnection_)
                qCWarning(lcAudio) << e.what();
            toldNoConnection_ = true;
        }
    }
    return connection_;
}

bool PulseAudioPlatform::connected() {
    return underLock(connection(), false, [](Connection& c) { return c.ensureConnected(); });
}

CodecManager& PulseAudioPlatform::codecManager() {
    return *codecs_;
}

std::uint32_t PulseAudioPlatform::waveOutCount() {
    return underLock(connection(), std::uint32_t{0}, [](Connection& c) {
        std::vector<PulseDevice> sinks;
        c.sinks(sinks);
        return static_cast<std::uint32_t>(sinks.size());
    });
}

std::uint32_t PulseAudioPlatform::waveInCount() {
    return underLock(connection(), std::uint32_t{0}, [](Connection& c) {
        std::vector<PulseDevice> sources;
        c.sources(sources);
        return static_cast<std::uint32_t>(sources.size());
    });
}

MmResult PulseAudioPlatform::waveOutCaps(std::uint32_t deviceId, WaveOutCaps& caps) {
    return underLock(connection(), MmResult{MMSYSERR_NODRIVER}, [&](Connection& c) -> MmResult {
        std::vector<PulseDevice> sinks;
        if (!c.sinks(sinks))
            return MMSYSERR_NODRIVER;
        const std::uint32_t index = deviceId == WAVE_MAPPER ? 0 : deviceId;
        if (index >= sinks.size())
            return deviceId == WAVE_MAPPER ? MMSYSERR_NODRIVER : MMSYSERR_BADDEVICEID;
        fillCaps(sinks[index], caps);
        caps.support = WAVECAPS_VOLUME | WAVECAPS_LRVOLUME | WAVECAPS_SAMPLEACCURATE;
        return MMSYSERR_NOERROR;
    });
}

MmResult PulseAudioPlatform::waveInCaps(std::uint32_t deviceId, WaveInCaps& caps) {
    return underLock(connection(), MmResult{MMSYSERR_NODRIVER}, [&](Connection& c) -> MmResult {
        std::vector<PulseDevice> sources;
        if (!c.sources(sources))
            return MMSYSERR_NODRIVER;
        const std::uint32_t index = deviceId == WAVE_MAPPER ? 0 : deviceId;
        if (index >= sources.size())
            return deviceId == WAVE_MAPPER ? MMSYSERR_NODRIVER : MMSYSERR_BADDEVICEID;
        fillCaps(sources[index], caps);
        return MMSYSERR_NOERROR;
    });
}

namespace {

MmResult deviceNames(const std::vector<PulseDevice>& devices, bool listed, std::uint32_t deviceId,
                     WaveDeviceNames& names) {
    if (!listed)
        return MMSYSERR_NODRIVER;
    const std::uint32_t index = deviceId == WAVE_MAPPER ? 0 : deviceId;
    if (index >= devices.size())
        return deviceId == WAVE_MAPPER ? MMSYSERR_NODRIVER : MMSYSERR_BADDEVICEID;
    names.description = devices[index].description;
    names.serverName = devices[index].name;
    return MMSYSERR_NOERROR;
}

} // namespace

MmResult PulseAudioPlatform::waveOutNames(std::uint32_t deviceId, WaveDeviceNames& names) {
    return underLock(connection(), MmResult{MMSYSERR_NODRIVER}, [&](Connection& c) -> MmResult {
        std::vector<PulseDevice> sinks;
        const bool listed = c.sinks(sinks);
        return deviceNames(sinks, listed, deviceId, names);
    });
}

MmResult PulseAudioPlatform::waveInNames(std::uint32_t deviceId, WaveDeviceNames& names) {
    return underLock(connection(), MmResult{MMSYSERR_NODRIVER}, [&](Connection& c) -> MmResult {
        std::vector<PulseDevice> sources;
        const bool listed = c.sources(sources);
        return deviceNames(sources, listed, deviceId, names);
    });
}

MmResult PulseAudioPlatform::openWaveOut(std::unique_ptr<WaveOutDevice>* device, std::uint32_t deviceId,
                                         const WaveFormatEx* format, QObject* callback, std::uint32_t flags) {
    return openStream(connection(), true, device, deviceId, format, callback, flags, openPulseWaveOut);
}

MmResult PulseAudioPlatform::openWaveIn(std::unique_ptr<WaveInDevice>* device, std::uint32_t deviceId,
                                        const WaveFormatEx* format, QObject* callback, std::uint32_t flags) {
    return openStream(connection(), false, device, deviceId, format, callback, flags, openPulseWaveIn);
}

std::uint32_t PulseAudioPlatform::mixerCount() {
    return underLock(connection(), std::uint32_t{0}, [&](Connection& c) -> std::uint32_t {
        std::vector<PulseDevice> sinks, sources;
        if (!c.sinks(sinks) || !c.sources(sources))
            return 0;
        return static_cast<std::uint32_t>(std::max(sinks.size(), sources.size()));
    });
}

MmResult PulseAudioPlatform::mixerCaps(std::uint32_t mixerId, MixerCaps& caps) {
    return underLock(connection(), MmResult{MMSYSERR_NODRIVER}, [&](Connection& c) -> MmResult {
        std::vector<PulseDevice> sinks, sources;
        if (!c.sinks(sinks) || !c.sources(sources))
            return MMSYSERR_NODRIVER;
        if (mixerId >= std::max(sinks.size(), sources.size()))
            return MMSYSERR_BADDEVICEID;
        caps = MixerCaps{};
        setFixedText(caps.productName,
                     mixerId < sinks.size() ? sinks[mixerId].description : sources[mixerId].description);
        caps.destinations = (mixerId < sinks.size() ? 1 : 0) + (mixerId < sources.size() ? 1 : 0);
        caps.driverVersion = 0x0100;
        return MMSYSERR_NOERROR;
    });
}

MmResult PulseAudioPlatform::openMixer(std::unique_ptr<Mixer>& mixer, std::uint32_t mixerId) {
    const std::shared_ptr<Connection> shared = connection(); // the mixer keeps it
    return underLock(shared, MmResult{MMSYSERR_NODRIVER}, [&](Connection& c) -> MmResult {
        std::vector<PulseDevice> sinks, sources;
        if (!c.sinks(sinks) || !c.sources(sources))
            return MMSYSERR_NODRIVER;
        if (mixerId >= std::max(sinks.size(), sources.size()))
            return MMSYSERR_BADDEVICEID;
        mixer = makePulseMixer(shared, mixerId < sinks.size() ? &sinks[mixerId] : nullptr,
                               mixerId < sources.size() ? &sources[mixerId] : nullptr);
        return MMSYSERR_NOERROR;
    });
}

} // namespace tavora::platform::audio
