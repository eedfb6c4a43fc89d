#include "shell/report/MicrophoneCheck.h"

#include "audio/devices/CodecFormat.h"
#include "audio/devices/DeviceLists.h"
#include "audio/devices/MixerControls.h"
#include "audio/loopback/CaptureStream.h"
#include "platform/audio/AudioPlatform.h"
#include "platform/audio/Gsm610.h"
#include "shell/report/LevelMeter.h"
#include "settings/SystemTestSettings.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QTimer>

#include <cmath>

namespace audio = tavora::audio;
namespace pa = tavora::platform::audio;

namespace {
// One tenth of a second of GSM 6.10 per buffer: 5 blocks of 320 samples.
constexpr std::uint32_t BlockBytes = pa::GSM610_BLOCK_ALIGN;
constexpr std::uint32_t BlocksPerBuffer = 5;

double rounded(double db) {
    return std::round(db * 10) / 10;
}

// The recording: whole GSM 6.10 blocks from the device, as the loop gets them.
struct TRecording {
    std::vector<std::uint8_t> Bytes;
    QString Error;
};

TRecording record(pa::AudioPlatform& platform, const std::vector<std::uint8_t>& format, std::uint32_t device,
                  int milliseconds) {
    TRecording recording;
    const std::size_t wanted = std::size_t(milliseconds) * 1625 / 1000 / BlockBytes * BlockBytes;
    audio::TCaptureStream capture(platform);
    capture.SetBufferSize(BlocksPerBuffer * BlockBytes);
    capture.SetNumBuffers(4);
    QEventLoop loop;
    capture.OnBufferFull = [&](audio::TCaptureStream*, const std::uint8_t* data, int size) {
        recording.Bytes.insert(recording.Bytes.end(), data, data + size);
        if (recording.Bytes.size() >= wanted)
            loop.quit();
    };
    try {
        capture.Open(format, device);
    } catch (const std::exception& e) {
        recording.Error = QString::fromLocal8Bit(e.what());
        return recording;
    }
    // A device that delivers nothing must not hang the report: give it the
    // recording's length and two seconds more.
    QTimer::singleShot(milliseconds + 2000, &loop, &QEventLoop::quit);
    loop.exec();
    capture.Close();
    if (recording.Bytes.size() < wanted)
        recording.Error = QString("the device delivered %1 ms of the %2 ms asked for")
                              .arg(recording.Bytes.size() * 1000 / 1625)
                              .arg(milliseconds);
    recording.Bytes.resize(std::min(recording.Bytes.size(), wanted) / BlockBytes * BlockBytes);
    return recording;
}
} // namespace

TCheckResult CheckMicrophone(pa::AudioPlatform& platform, const TSystemTestSettings& settings,
                             const TMicrophoneCheckOptions& options) {
    TCheckResult result{"microphone", false, {}, {}};
    QStringList devices;
    std::vector<std::string> names;
    audio::ListWaveInDevices(platform, devices, &names);
    result.Figures["devices"] = QJsonArray::fromStringList(devices);
    if (devices.isEmpty()) {
        result.Detail = "no input device found";
        return result;
    }
    const std::uint32_t device =
        PickStoredDevice(result, devices, names, settings.AudioInDeviceID, settings.AudioInDeviceName).Device;

    std::uint16_t level = 0;
    if (audio::GetMicVolume(platform, device, level))
        result.Figures["microphone_level"] = level;
    std::uint16_t speaker = 0;
    QStringList outputs;
    std::vector<std::string> outputNames;
    audio::ListWaveOutDevices(platform, outputs, &outputNames);
    // The loop plays on the output device the playback page settles on.
    const std::uint32_t output =
        outputs.isEmpty()
            ? audio::WaveDeviceNumber(settings.AudioOutDeviceID)
            : std::uint32_t(audio::FindStoredDevice(settings.AudioOutDeviceID, settings.AudioOutDeviceName,
                                                    int(outputs.size()), outputNames)
                                .Entry);
    if (audio::GetSpeakerVolume(platform, output, speaker))
        result.Figures["speaker_level"] = speaker;
    std::uint32_t boost = 0;
    if (audio::GetMicBoost(platform, device, boost))
        result.Figures["boost"] = boost != 0;

    std::vector<std::uint8_t> format =
        audio::MakeLoopFormat(audio::QueryMaxFormatSize(platform.codecManager()));
    if (format.empty()) {
        result.Detail = "no GSM 6.10 codec format available";
        return result;
    }
    try {
        audio::FindCodecFormat(platform.codecManager(), format);
    } catch (const std::exception&) {
        // The page records with the template format then too.
    }

    const TRecording recording = record(platform, format, device, options.RecordMs);
    if (!recording.Error.isEmpty() && recording.Bytes.empty()) {
        result.Detail = QString("%1: cannot record: %2").arg(devices[int(device)], recording.Error);
        return result;
    }
    std::vector<std::int16_t> pcm(recording.Bytes.size() / BlockBytes * pa::GSM610_SAMPLES_PER_BLOCK);
    pa::gsm610::Decoder decoder;
    pcm.resize(decoder.decode(recording.Bytes, pcm));
    const TLevelStats stats = MeasureLevels(pcm.data(), pcm.size());
    result.Figures["recorded_ms"] = int(pcm.size() / 8);
    result.Figures["peak_dbfs"] = rounded(stats.PeakDb);
    result.Figures["rms_dbfs"] = rounded(stats.RmsDb);
    result.Figures["no_signal"] = stats.NoSignal();
    result.Figures["clipping"] = stats.Clipping();

    result.Ok = recording.Error.isEmpty() && !stats.NoSignal() && !stats.Clipping();
    QString verdict = stats.NoSignal() ? "no signal" : stats.Clipping() ? "clipping" : "signal";
    result.Detail = QString("%1: %2, peak %3 dBFS, RMS %4 dBFS")
                        .arg(devices[int(device)], verdict)
                        .arg(rounded(stats.PeakDb))
                        .arg(rounded(stats.RmsDb));
    if (!recording.Error.isEmpty())
        result.Detail += "; " + recording.Error;
    if (result.Figures.contains("boost") && result.Figures["boost"].toBool())
        result.Detail += "; microphone boost is on";
    return result;
}
