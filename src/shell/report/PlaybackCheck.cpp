#include "shell/report/PlaybackCheck.h"

#include "audio/devices/DeviceLists.h"
#include "audio/devices/MixerControls.h"
#include "audio/player/WaveImage.h"
#include "audio/player/WaveResource.h"
#include "platform/audio/AudioPlatform.h"
#include "settings/SystemTestSettings.h"

#include <QIODevice>
#include <QJsonArray>

namespace audio = tavora::audio;
namespace pa = tavora::platform::audio;

TCheckResult CheckPlayback(pa::AudioPlatform& platform, const TSystemTestSettings& settings) {
    TCheckResult result{"playback", false, {}, {}};
    QStringList devices;
    std::vector<std::string> names;
    audio::ListWaveOutDevices(platform, devices, &names);
    result.Figures["devices"] = QJsonArray::fromStringList(devices);
    if (devices.isEmpty()) {
        result.Detail = "no output device found";
        return result;
    }
    const auto [device, storedListed] =
        PickStoredDevice(result, devices, names, settings.AudioOutDeviceID, settings.AudioOutDeviceName);
    std::uint16_t level = 0;
    if (audio::GetSpeakerVolume(platform, device, level))
        result.Figures["speaker_level"] = level;

    audio::TWaveImage sample;
    try {
        std::unique_ptr<QIODevice> stream = audio::OpenResourceStream("sample", "WAVE");
        sample.LoadFromStream(*stream);
    } catch (const std::exception& e) {
        result.Detail = QString("the built-in sample cannot be read: %1").arg(e.what());
        return result;
    }
    const pa::WaveFormatEx* format = sample.WaveFormat();
    if (!format) {
        result.Detail = "the built-in sample has no valid format";
        return result;
    }
    const pa::MmResult answer =
        platform.openWaveOut(nullptr, device, format, nullptr, pa::WAVE_FORMAT_QUERY | pa::WAVE_MAPPED);
    result.Ok = answer == pa::MMSYSERR_NOERROR;
    result.Figures["opens_sample_format"] = result.Ok;
    result.Detail =
        QString("%1: %2").arg(devices[int(device)], result.Ok ? "plays the sample's GSM 6.10 format"
                                                              : "cannot play the sample's format");
    if (!storedListed)
        result.Detail += QString(" (stored device %1 is not in the list; the first is used)")
                             .arg(settings.AudioOutDeviceID);
    if (!result.Ok)
        result.Figures["error_code"] = int(answer);
    return result;
}
