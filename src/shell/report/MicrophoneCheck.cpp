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

namespace tavora {

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
struct Recording {
    std::vector<std::uint8_t> bytes;
    QString error;
};

Recording record(pa::AudioPlatform& platform, const std::vector<std::uint8_t>& format, std::uint32_t device,
                  int milliseconds) {
    Recording recording;
    const std::size_t wanted = std::size_t(milliseconds) * 1625 / 1000 / BlockBytes * BlockBytes;
    audio::CaptureStream capture(platform);
    capture.setBufferSize(BlocksPerBuffer * BlockBytes);
    capture.setNumBuffers(4);
    QEventLoop loop;
    capture.onBufferFull = [&](audio::CaptureStream*, const std::uint8_t* data, int size) {
        recording.bytes.insert(recording.bytes.end(), data, data + size);
        if (recording.bytes.size() >= wanted)
            loop.quit();
    };
    try {
        capture.open(format, device);
    } catch (const std::exception& e) {
        recording.error = QString::fromLocal8Bit(e.what());
        return recording;
    }
    // A device that delivers nothing must not hang the report: give it the
    // recording's length and two seconds more.
    QTimer::singleShot(milliseconds + 2000, &loop, &QEventLoop::quit);
    loop.exec();
    capture.close();
    if (recording.bytes.size() < wanted)
        recording.error = QString("the device delivered %1 ms of the %2 ms asked for")
                              .arg(recording.bytes.size() * 1000 / 1625)
                              .arg(milliseconds);
    recording.bytes.resize(std::min(recording.bytes.size(), wanted) / BlockBytes * BlockBytes);
    return recording;
}
} // namespace

CheckResult checkMicrophone(pa::AudioPlatform& platform, const SystemTestSettings& settings,
                             const MicrophoneCheckOptions& options) {
    CheckResult result{"microphone", false, {}, {}};
    QStringList devices;
    std::vector<std::string> names;
    audio::listWaveInDevices(platform, devices, &names);
    result.figures["devices"] = QJsonArray::fromStringList(devices);
    if (devices.isEmpty()) {
        result.detail = "no input device found";
        return result;
    }
    const std::uint32_t device =
        pickStoredDevice(result, devices, names, settings.audioInDeviceID, settings.audioInDeviceName).device;

    std::uint16_t level = 0;
    if (audio::getMicVolume(platform, device, level))
        result.figures["microphone_level"] = level;
    std::uint16_t speaker = 0;
    QStringList outputs;
    std::vector<std::string> outputNames;
    audio::listWaveOutDevices(platform, outputs, &outputNames);
    // The loop plays on the output device the playback page settles on.
    const std::uint32_t output =
        outputs.isEmpty()
            ? audio::waveDeviceNumber(settings.audioOutDeviceID)
            : std::uint32_t(audio::findStoredDevice(settings.audioOutDeviceID, settings.audioOutDeviceName,
                                                    int(outputs.size()), outputNames)
                                .Entry);
    if (audio::getSpeakerVolume(platform, output, speaker))
        result.figures["speaker_level"] = speaker;
    std::uint32_t boost = 0;
    if (audio::getMicBoost(platform, device, boost))
        result.figures["boost"] = boost != 0;

    std::vector<std::uint8_t> format =
        audio::makeLoopFormat(audio::queryMaxFormatSize(platform.codecManager()));
    if (format.empty()) {
        result.detail = "no GSM 6.10 codec format available";
        return result;
    }
    try {
        audio::findCodecFormat(platform.codecManager(), format);
    } catch (const std::exception&) {
        // The page records with the template format then too.
    }

    const Recording recording = record(platform, format, device, options.recordMs);
    if (!recording.error.isEmpty() && recording.bytes.empty()) {
        result.detail = QString("%1: cannot record: %2").arg(devices[int(device)], recording.error);
        return result;
    }
    std::vector<std::int16_t> pcm(recording.bytes.size() / BlockBytes * pa::GSM610_SAMPLES_PER_BLOCK);
    pa::gsm610::Decoder decoder;
    pcm.resize(decoder.decode(recording.bytes, pcm));
    const LevelStats stats = measureLevels(pcm.data(), pcm.size());
    result.figures["recorded_ms"] = int(pcm.size() / 8);
    result.figures["peak_dbfs"] = rounded(stats.peakDb);
    result.figures["rms_dbfs"] = rounded(stats.rmsDb);
    result.figures["no_signal"] = stats.noSignal();
    result.figures["clipping"] = stats.clipping();

    result.ok = recording.error.isEmpty() && !stats.noSignal() && !stats.clipping();
    QString verdict = stats.noSignal() ? "no signal" : stats.clipping() ? "clipping" : "signal";
    result.detail = QString("%1: %2, peak %3 dBFS, RMS %4 dBFS")
                        .arg(devices[int(device)], verdict)
                        .arg(rounded(stats.peakDb))
                        .arg(rounded(stats.rmsDb));
    if (!recording.error.isEmpty())
        result.detail += "; " + recording.error;
    if (result.figures.contains("boost") && result.figures["boost"].toBool())
        result.detail += "; microphone boost is on";
    return result;
}

} // namespace tavora
