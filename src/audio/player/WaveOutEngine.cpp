#include "audio/player/WaveOutEngine.h"

#include "audio/player/PlayerLog.h"

#include <cmath>
#include <cstdlib>

namespace tavora::audio {

namespace mm = platform::audio;

TWaveOutEngine::TWaveOutEngine(mm::AudioPlatform& platform) : TWaveEngine(platform) {}

TWaveOutEngine::~TWaveOutEngine() {
    DestroyEngine();
}

// ---------------------------------------------------------------------------
// Device queries

uint32_t TWaveOutEngine::GetNumDevs() {
    return Platform().waveOutCount();
}

TWaveEngine::MmResult TWaveOutEngine::ValidateDeviceID(int32_t deviceId) {
    mm::WaveOutCaps caps;
    return Platform().waveOutCaps(static_cast<uint32_t>(deviceId), caps);
}

std::string TWaveOutEngine::GetDeviceName() {
    mm::WaveOutCaps caps;
    if (Platform().waveOutCaps(static_cast<uint32_t>(DeviceID()), caps) != mm::MMSYSERR_NOERROR)
        return {};
    return mm::fixedText(caps.productName);
}

TWaveDeviceSupports TWaveOutEngine::DeviceSupport() {
    TWaveDeviceSupports result;
    mm::WaveOutCaps caps;
    if (Platform().waveOutCaps(static_cast<uint32_t>(DeviceID()), caps) != mm::MMSYSERR_NOERROR)
        return result;
    const uint32_t bits = caps.support;
    if (bits & mm::WAVECAPS_VOLUME) {
        result.Include(TWaveDeviceSupport::dsVolume);
        if (bits & mm::WAVECAPS_LRVOLUME)
            result.Include(TWaveDeviceSupport::dsLeftRightVolume);
    }
    if (bits & mm::WAVECAPS_PITCH)
        result.Include(TWaveDeviceSupport::dsPitch);
    if (bits & mm::WAVECAPS_PLAYBACKRATE)
        result.Include(TWaveDeviceSupport::dsPlaybackRate);
    if (bits & mm::WAVECAPS_SAMPLEACCURATE)
        result.Include(TWaveDeviceSupport::dsSampleAccurate);
    if (!(bits & mm::WAVECAPS_SYNC))
        result.Include(TWaveDeviceSupport::dsAsynchronous);
    return result;
}

TPCMFormatSet TWaveOutEngine::GetDeviceFormats() {
    mm::WaveOutCaps caps;
    if (Platform().waveOutCaps(static_cast<uint32_t>(DeviceID()), caps) != mm::MMSYSERR_NOERROR)
        return {};
    // 8000 Hz is not in the capability bits; every device is taken to play it.
    TPCMFormatSet formats{1, 2, 3, 4};
    for (uint8_t k = 1; k <= 12; ++k) {
        if (caps.formats & (1u << (k - 1)))
            formats.insert(static_cast<uint8_t>(4 + k));
    }
    return formats;
}

std::string TWaveOutEngine::GetErrorText(MmResult code) {
    std::string text;
    if (mm::waveErrorText(code, text) != mm::MMSYSERR_NOERROR)
        return {};
    return text;
}

bool TWaveOutEngine::IsFormatSupported(const TWaveFormatEx& format) {
    return Platform().openWaveOut(nullptr, static_cast<uint32_t>(DeviceID()), &format, nullptr,
                                  mm::WAVE_FORMAT_QUERY) == mm::MMSYSERR_NOERROR;
}

uint32_t TWaveOutEngine::GetPosition() {
    if (!device_)
        return 0;
    mm::MmTime time;
    time.type = mm::TIME_MS;
    if (device_->position(time) != mm::MMSYSERR_NOERROR)
        return 0;
    uint64_t ms = 0;
    switch (time.type) {
    case mm::TIME_MS:
        ms = time.value;
        break;
    case mm::TIME_SAMPLES:
        if (deviceFormat_.nSamplesPerSec != 0)
            ms = uint64_t{1000} * time.value / deviceFormat_.nSamplesPerSec;
        break;
    case mm::TIME_BYTES:
        if (deviceFormat_.nAvgBytesPerSec != 0)
            ms = uint64_t{1000} * time.value / deviceFormat_.nAvgBytesPerSec;
        break;
    case mm::TIME_SMPTE:
        ms = uint64_t{time.smpte.hour} * 3600000 + uint64_t{time.smpte.min} * 60000 +
             uint64_t{time.smpte.sec} * 1000;
        break;
    default:
        break;
    }
    return static_cast<uint32_t>(ms + static_cast<int64_t>(positionOffset_));
}

void TWaveOutEngine::SetPosition(uint32_t milliseconds) {
    std::lock_guard lock(EngineLock());
    if (!device_)
        return;
    // The reset hands every queued buffer back; the cycle refills them from
    // the new place. A reset device is no longer paused.
    device_->reset();
    paused_ = paused_ && device_->pause() == mm::MMSYSERR_NOERROR;
    positionOffset_ = static_cast<int32_t>(milliseconds);
}

// ---------------------------------------------------------------------------
// Volume, pitch, playback rate, options

uint32_t TWaveOutEngine::MultiplierToFixed(double value) {
    const double whole = std::trunc(value);
    const double fraction = std::fabs(value - whole);
    const auto high = static_cast<uint16_t>(static_cast<int32_t>(whole));
    const auto low = static_cast<uint16_t>(fraction * 65536.0);
    return uint32_t{high} << 16 | low;
}

double TWaveOutEngine::FixedToMultiplier(uint32_t value) {
    return static_cast<int16_t>(value >> 16) + (value & 0xFFFF) / 65536.0;
}

uint16_t TWaveOutEngine::Volume() {
    if (device_ && DeviceSupport().Contains(TWaveDeviceSupport::dsVolume)) {
        uint32_t value = 0;
        if (device_->volume(value) == mm::MMSYSERR_NOERROR)
            return static_cast<uint16_t>(MulDiv(value & 0xFFFF, 100, 65535));
    }
    return volume_;
}

void TWaveOutEngine::SetVolume(uint16_t value) {
    if (value == volume_)
        return;
    volume_ = value;
    if (device_ && options_.Contains(TWaveOutOption::woSetVolume) &&
        DeviceSupport().Contains(TWaveDeviceSupport::dsVolume))
        ApplyVolume();
}

void TWaveOutEngine::ApplyVolume() {
    // Above 100 % the device level stays at its top rather than spilling
    // into the other channel's half.
    const uint32_t x = std::min<uint32_t>(MulDiv(volume_, 65535, 100), 0xFFFF);
    device_->setVolume(x << 16 | x);
}

// Pitch and playback rate work alike, each with its own control and option.
struct TWaveOutEngine::TMultiplier {
    TWaveDeviceSupport control;
    TWaveOutOption option;
    mm::MmResult (mm::WaveOutDevice::*get)(uint32_t&);
    mm::MmResult (mm::WaveOutDevice::*set)(uint32_t);
};

const TWaveOutEngine::TMultiplier TWaveOutEngine::PitchControl{
    TWaveDeviceSupport::dsPitch, TWaveOutOption::woSetPitch, &mm::WaveOutDevice::pitch,
    &mm::WaveOutDevice::setPitch};
const TWaveOutEngine::TMultiplier TWaveOutEngine::RateControl{
    TWaveDeviceSupport::dsPlaybackRate, TWaveOutOption::woSetPlaybackRate, &mm::WaveOutDevice::playbackRate,
    &mm::WaveOutDevice::setPlaybackRate};

double TWaveOutEngine::ReadMultiplier(const TMultiplier& m, double stored) {
    if (!device_)
        return stored;
    if (!DeviceSupport().Contains(m.control))
        return 1.0;
    uint32_t value = 0;
    return (device_.get()->*m.get)(value) == mm::MMSYSERR_NOERROR ? FixedToMultiplier(value) : stored;
}

void TWaveOutEngine::WriteMultiplier(const TMultiplier& m, double& stored, double value) {
    if (value == stored)
        return;
    stored = value;
    if (device_ && options_.Contains(m.option) && DeviceSupport().Contains(m.control))
        ApplyMultiplier(m, stored);
}

void TWaveOutEngine::ApplyMultiplier(const TMultiplier& m, double value) {
    (device_.get()->*m.set)(MultiplierToFixed(value));
}

double TWaveOutEngine::Pitch() {
    return ReadMultiplier(PitchControl, pitch_);
}
void TWaveOutEngine::SetPitch(double value) {
    WriteMultiplier(PitchControl, pitch_, value);
}
double TWaveOutEngine::PlaybackRate() {
    return ReadMultiplier(RateControl, playbackRate_);
}
void TWaveOutEngine::SetPlaybackRate(double value) {
    WriteMultiplier(RateControl, playbackRate_, value);
}

void TWaveOutEngine::SetOptions(TWaveOutOptions value) {
    if (value == options_)
        return;
    options_ = value;
    if (device_)
        ApplyOptions();
}

void TWaveOutEngine::ApplyOptions() {
    if (!device_)
        return;
    const TWaveDeviceSupports support = DeviceSupport();
    if (options_.Contains(TWaveOutOption::woSetVolume) && support.Contains(TWaveDeviceSupport::dsVolume))
        ApplyVolume();
    if (options_.Contains(PitchControl.option) && support.Contains(PitchControl.control))
        ApplyMultiplier(PitchControl, pitch_);
    if (options_.Contains(RateControl.option) && support.Contains(RateControl.control))
        ApplyMultiplier(RateControl, playbackRate_);
}

// ---------------------------------------------------------------------------
// Open, close, pause, resume

bool TWaveOutEngine::InternalOpen() {
    if (Opening)
        return false;
    if (Active())
        throw EWaveInvalidOperation("Device is aleardy open");
    if (Closing)
        WaitForNotifier();
    ReapNotifyThread();
    std::lock_guard lock(EngineLock());
    Opening = true;
    struct TOpening {
        std::atomic<bool>& flag;
        ~TOpening() { flag = false; }
    } opening{Opening};

    const TWaveFormatEx* format = nullptr;
    bool freeIt = true;
    struct TFormat {
        const TWaveFormatEx*& format;
        bool& freeIt;
        ~TFormat() {
            if (freeIt)
                std::free(const_cast<TWaveFormatEx*>(format));
        }
    } formatGuard{format, freeIt};
    GetWaveFormat(format, freeIt);

    const auto deviceId = static_cast<uint32_t>(DeviceID());
    const MmResult query = format ? Platform().openWaveOut(nullptr, deviceId, format, nullptr,
                                                           mm::WAVE_FORMAT_QUERY | mm::WAVE_MAPPED)
                                  : mm::MMSYSERR_INVALPARAM;
    if (!CheckResult(query))
        return false;
    // The device format keeps the head only (tag to bits per sample).
    deviceFormat_ = *format;
    deviceFormat_.cbSize = 0;
    closeIssued_ = false;
    failed_ = false;
    QObject* notifier = CreateNotifier();
    try {
        if (CheckResult(Platform().openWaveOut(&device_, deviceId, format, notifier, NotifierKind())))
            return true;
    } catch (...) {
        device_.reset();
        ReleaseNotifier();
        throw;
    }
    device_.reset();
    ReleaseNotifier();
    return false;
}

bool TWaveOutEngine::InternalClose() {
    if (Closing)
        return false;
    if (Opening)
        WaitWhileOpening();
    if (!Active())
        throw EWaveInvalidOperation("Device is aleardy close");
    std::lock_guard lock(EngineLock());
    Closing = true;
    try {
        if (!CheckResult(device_ ? device_->reset() : mm::MMSYSERR_INVALHANDLE)) {
            Closing = false;
            return false;
        }
        // With buffers queued, the reset sends them back and the last one to
        // come back closes the device.
        if (QueuedCount() == 0)
            return CheckResult(CloseDevice());
        return true;
    } catch (...) {
        Closing = false;
        throw;
    }
}

bool TWaveOutEngine::InternalPause() {
    if (paused_)
        return false;
    std::lock_guard lock(EngineLock());
    if (device_ && !CheckResult(device_->pause()))
        return false;
    paused_ = true;
    NotifyPause();
    return true;
}

bool TWaveOutEngine::InternalResume() {
    if (!paused_)
        return false;
    std::lock_guard lock(EngineLock());
    if (device_ && !CheckResult(device_->restart()))
        return false;
    paused_ = false;
    NotifyResume();
    return true;
}

TWaveEngine::MmResult TWaveOutEngine::CloseDevice() {
    // A close that is already under way is not repeated: a feeding
    // notification posted before it may still arrive after it.
    if (closeIssued_)
        return mm::MMSYSERR_NOERROR;
    if (!device_)
        return mm::MMSYSERR_INVALHANDLE;
    const MmResult result = device_->close();
    if (result == mm::MMSYSERR_NOERROR)
        closeIssued_ = true;
    return result;
}

void TWaveOutEngine::AbandonDevice() {
    std::lock_guard lock(EngineLock());
    device_.reset(); // stops it without notifications; its buffers are not touched again
    Closing = false;
    Opening = false;
    ReleaseNotifier();
    ReleaseAllBuffers();
}

void TWaveOutEngine::FlushClosingDevice() {
    std::lock_guard lock(EngineLock());
    if (Closing && device_ && !closeIssued_)
        device_->reset();
}

// ---------------------------------------------------------------------------
// Notifications and the buffer cycle

void TWaveOutEngine::WaveOutOpened() {
    ApplyOptions();
    positionOffset_ = 0;
    // A close that came before this notification leaves nothing to pause.
    if (paused_ && !Closing)
        paused_ = CheckResult(device_->pause());
    TWaveEngine::WaveOutOpened();
}

void TWaveOutEngine::WaveOutClosed() {
    device_.reset();
    TWaveEngine::WaveOutClosed();
}

void TWaveOutEngine::StartFeeding() {
    if (QueuedCount() == 0 && device_ && !Closing)
        PostNotification(WaveMessage::WomDone, nullptr);
}

void TWaveOutEngine::WaveOutDone(WaveHeader* header) {
    if (!device_) {
        FreeHeader(header);
        return;
    }
    try {
        if (header)
            CheckResult(device_->unprepareHeader(*header));
        if (!Closing) {
            const size_t count = EffectiveBufferCount();
            // The returned header is still listed, so it counts.
            if ((header && QueuedCount() > count) || (!header && QueuedCount() >= count))
                ReallocHeader(header, 0);
            else
                RefillAndWrite(header);
        }
    } catch (...) {
        EndAfterFailure(header);
        throw;
    }
    FinishCycle(header);
}

void TWaveOutEngine::RefillAndWrite(WaveHeader*& header) {
    uint32_t loops = 0;
    uint32_t n = 0;
    if (copyMode_) {
        if (ReallocHeader(header, BufferBytes())) {
            n = FillBuffer(header->data, header->bufferLength, loops);
            if (n < header->bufferLength)
                ReallocHeader(header, n);
        }
        Closing = (n == 0);
    } else {
        uint8_t* data = nullptr;
        bool takeOwnership = true;
        n = GetBufferData(data, loops, takeOwnership);
        const bool silence = data == nullptr && n > 0;
        if (silence) {
            if (QueuedCount() > 1) {
                n = 0;
            } else {
                takeOwnership = true;
                n = TimeToBufferSize(deviceFormat_, n);
            }
        }
        ReallocHeader(header, n, data);
        if (header && takeOwnership)
            header->user = reinterpret_cast<uintptr_t>(static_cast<TWaveEngine*>(this));
        if (silence && header)
            FillSilence(header->data, header->bufferLength, deviceFormat_.wBitsPerSample);
        Closing = (n == 0 && !silence);
    }
    if (Closing || header == nullptr)
        return;
    if (loops != 0) {
        header->flags = mm::WHDR_BEGINLOOP | mm::WHDR_ENDLOOP;
        header->loops = loops;
    }
    if (!WriteBuffer(header)) {
        EndAfterFailure(header);
        return;
    }
    if (QueuedCount() < EffectiveBufferCount())
        PostNotification(WaveMessage::WomDone, nullptr);
}

void TWaveOutEngine::FinishCycle(WaveHeader*& header) {
    if (Closing && header) {
        if (header->flags & mm::WHDR_PREPARED)
            device_->unprepareHeader(*header);
        ReallocHeader(header, 0);
    }
    if (Closing && QueuedCount() == 0) {
        // A device that went away hands back the buffers it never played
        // like played ones; once everything was written, nothing else shows
        // the loss, so its position is asked before it is closed.
        mm::MmTime time;
        time.type = mm::TIME_MS;
        const MmResult lost = failed_ ? mm::MMSYSERR_NOERROR : device_->position(time);
        CheckResult(CloseDevice());
        if (mm::waveDeviceGone(lost))
            CheckResult(lost);
    }
}

void TWaveOutEngine::EndAfterFailure(WaveHeader*& header) {
    failed_ = true;
    Closing = true;
    if (header) {
        if (header->flags & mm::WHDR_PREPARED)
            device_->unprepareHeader(*header);
        FreeHeader(header);
    }
    if (QueuedCount() > 0) {
        device_->reset();
    } else if (const MmResult result = CloseDevice(); result != mm::MMSYSERR_NOERROR) {
        qCWarning(lcPlayer) << "closing the wave device after a failed buffer failed with" << result;
    }
}

bool TWaveOutEngine::WriteBuffer(WaveHeader* header) {
    bool preparedHere = false;
    if (!(header->flags & mm::WHDR_PREPARED)) {
        if (!CheckResult(device_->prepareHeader(*header)))
            return false;
        preparedHere = true;
    }
    try {
        NotifyBufferData(header->data, header->bufferLength);
        NotifyLevel(header->data, header->bufferLength);
        if (CheckResult(device_->write(*header)))
            return true;
    } catch (...) {
        if (preparedHere)
            device_->unprepareHeader(*header);
        throw;
    }
    if (preparedHere)
        device_->unprepareHeader(*header);
    return false;
}

bool TWaveOutEngine::WriteBlock(uint8_t* data, uint32_t size, bool takeOwnership, uint32_t loops) {
    std::lock_guard lock(EngineLock());
    if (!device_)
        return false;
    WaveHeader* header = nullptr;
    if (!ReallocHeader(header, size, data))
        return false;
    if (takeOwnership)
        header->user = reinterpret_cast<uintptr_t>(static_cast<TWaveEngine*>(this));
    if (loops != 0) {
        header->flags = mm::WHDR_BEGINLOOP | mm::WHDR_ENDLOOP;
        header->loops = loops;
    }
    try {
        if (WriteBuffer(header))
            return true;
    } catch (...) {
        FreeHeader(header);
        throw;
    }
    FreeHeader(header);
    return false;
}

uint32_t TWaveOutEngine::FillBuffer(uint8_t*, uint32_t, uint32_t&) {
    return 0;
}

uint32_t TWaveOutEngine::GetBufferData(uint8_t*&, uint32_t&, bool&) {
    return 0;
}

} // namespace tavora::audio
