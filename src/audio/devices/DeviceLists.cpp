#include "audio/devices/DeviceLists.h"

#include "platform/audio/AudioPlatform.h"

#include <QCoreApplication>

namespace tavora::audio {

QString defaultDeviceMark() {
    return QCoreApplication::translate("DeviceLists", DefaultDeviceSuffix);
}

namespace pa = platform::audio;

namespace {

// Both directions differ only in the capability record and the calls.
template <typename Caps, typename Count, typename Query, typename QueryNames>
void listDevices(QStringList& strings, std::vector<std::string>* names, Count count, Query query,
                 QueryNames queryNames) {
    strings.clear();
    if (names)
        names->clear();
    Caps caps;
    const std::uint32_t n = count();
    for (std::uint32_t d = 0; d < n; ++d) {
        caps = Caps{};
        if (query(d, caps) != pa::MMSYSERR_NOERROR)
            continue;
        pa::WaveDeviceNames deviceNames;
        const bool named = queryNames(d, deviceNames) == pa::MMSYSERR_NOERROR;
        QString name = QString::fromStdString(named && !deviceNames.description.empty()
                                                  ? deviceNames.description
                                                  : pa::fixedText(caps.productName));
        if (names)
            names->push_back(named ? deviceNames.serverName : std::string());
        // The suffix belongs to device number 0, not to the first entry.
        if (d == 0)
            name += defaultDeviceMark();
        strings.append(name);
    }
}

} // namespace

void listWaveInDevices(pa::AudioPlatform& platform, QStringList& strings, std::vector<std::string>* names) {
    listDevices<pa::WaveInCaps>(
        strings, names, [&] { return platform.waveInCount(); },
        [&](std::uint32_t d, pa::WaveInCaps& caps) { return platform.waveInCaps(d, caps); },
        [&](std::uint32_t d, pa::WaveDeviceNames& names) { return platform.waveInNames(d, names); });
}

void listWaveOutDevices(pa::AudioPlatform& platform, QStringList& strings, std::vector<std::string>* names) {
    listDevices<pa::WaveOutCaps>(
        strings, names, [&] { return platform.waveOutCount(); },
        [&](std::uint32_t d, pa::WaveOutCaps& caps) { return platform.waveOutCaps(d, caps); },
        [&](std::uint32_t d, pa::WaveDeviceNames& names) { return platform.waveOutNames(d, names); });
}

std::uint32_t waveDeviceNumber(std::int32_t id) {
    return id < 0 ? pa::WAVE_MAPPER - 1 : static_cast<std::uint32_t>(id);
}

StoredChoice findStoredDevice(std::int32_t id, const std::string& name, int count,
                               const std::vector<std::string>& names) {
    if (!name.empty())
        for (int k = 0; k < count && k < int(names.size()); ++k)
            if (names[std::size_t(k)] == name)
                return {k, StoredChoice::ByName};
    if (id >= 0 && id < count)
        return {id, StoredChoice::ByNumber};
    return {0, StoredChoice::Default};
}

int keepStoredDeviceInList(std::int32_t& id, std::string& name, int count,
                           const std::vector<std::string>& names) {
    id = findStoredDevice(id, name, count, names).Entry;
    // Entry 0 stands for whichever device the desktop makes its default, and
    // the classroom client reads a stored 0 that way: a name would pin the
    // device that happens to be the default today.
    if (name.empty() && id > 0 && id < int(names.size()))
        name = names[std::size_t(id)];
    return id;
}

void storePickedDevice(int picked, std::int32_t& id, std::string& name,
                       const std::vector<std::string>& names) {
    id = picked;
    name = picked > 0 && picked < int(names.size()) ? names[std::size_t(picked)] : std::string();
}

} // namespace tavora::audio
