#include "shell/report/PlaybackCheck.h"

#include "audio/devices/DeviceLists.h"
#include "audio/devices/MixerControls.h"
#include "audio/player/WaveImage.h"
#include "audio/player/WaveResource.h"
#include "platform/audio/AudioPlatform.h"
#include "settings/SystemTestSettings.h"

#include <QIODevice>
#include <QJsonArray>

namespace tavora {

namespace audio = tavora::audio;
namespace pa = tavora::platform::audio;

CheckResult checkPlayback(pa::AudioPlatform& platform, const SystemTestSettings& settings) {
    CheckResult result{"playback", false, {}, {}};
    QStringList devices;
    std::vector<std::string> names;
    audio::listWaveOutDevices(platform, devices, &names);
    result.figures["devices"] = QJsonArray::fromStringList(devices);
    if (devices.isEmpty()) {
        result.detail = "no output device found";
        return result;
    }
    const auto [device, storedListed] =
        pickStoredDevice(result, devices, names, settings.audioOutDeviceID, settings.audioOutDeviceName);
    std::uint16_t level = 0;
    if (audio::getSpeakerVolume(platform, device, level))
        result.figures["speaker_level"] = level;

    audio::WaveImage sample;
    try {
        std::unique_ptr<QIODevice> stream = audio::openResourceStream("sample", "WAVE");
        sample.loadFromStream(*stream);
    } catch (const std::exception& e) {
        result.detail = QString("the built-in sample cannot be read: %1").arg(e.what());
        return result;
    }
    const pa::WaveFormatEx* format = sample.waveFormat();
    if (!format) {
        result.detail = "the built-in sample has no valid format";
        return result;
    }
    const pa::MmResult answer =
        platform.openWaveOut(nullptr, device, format, nullptr, pa::WAVE_FORMAT_QUERY | pa::WAVE_MAPPED);
    result.ok = answer == pa::MMSYSERR_NOERROR;
    result.figures["opens_sample_format"] = result.ok;
    result.detail =
        QString("%1: %2").arg(devices[int(device)], result.ok ? "plays the sample's GSM 6.10 format"
                                                              : "cannot play the sample's format");
    if (!storedListed)
        result.detail += QString(" (stored device %1 is not in the list; the first is used)")
                             .arg(settings.audioOutDeviceID);
    if (!result.ok)
        result.figures["error_code"] = int(answer);
    return result;
}

} // namespace tavora
