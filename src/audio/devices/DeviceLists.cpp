#include "audio/devices/DeviceLists.h"

#include "platform/audio/AudioPlatform.h"

namespace tavora::audio {

namespace pa = platform::audio;

namespace {

// Both directions differ only in the capability record and the calls.
template <typename Caps, typename Count, typename Query>
void listDevices(QStringList& Strings, Count count, Query query) {
    Strings.clear();
    Caps caps;
    const std::uint32_t n = count();
    for (std::uint32_t d = 0; d < n; ++d) {
        caps = Caps{};
        if (query(d, caps) != pa::MMSYSERR_NOERROR)
            continue;
        QString name = QString::fromStdString(pa::fixedText(caps.productName));
        // The suffix belongs to device number 0, not to the first entry.
        if (d == 0)
            name += QLatin1String(DefaultDeviceSuffix);
        Strings.append(name);
    }
}

} // namespace

void ListWaveInDevices(pa::AudioPlatform& platform, QStringList& Strings) {
    listDevices<pa::WaveInCaps>(
        Strings, [&] { return platform.waveInCount(); },
        [&](std::uint32_t d, pa::WaveInCaps& caps) { return platform.waveInCaps(d, caps); });
}

void ListWaveOutDevices(pa::AudioPlatform& platform, QStringList& Strings) {
    listDevices<pa::WaveOutCaps>(
        Strings, [&] { return platform.waveOutCount(); },
        [&](std::uint32_t d, pa::WaveOutCaps& caps) { return platform.waveOutCaps(d, caps); });
}

std::uint32_t WaveDeviceNumber(std::int32_t id) {
    return id < 0 ? pa::WAVE_MAPPER - 1 : static_cast<std::uint32_t>(id);
}

void KeepStoredDeviceInList(std::int32_t& id, const QStringList& devices) {
    if (id < 0 || id >= devices.size())
        id = 0;
}

} // namespace tavora::audio
