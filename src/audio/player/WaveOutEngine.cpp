#include "audio/player/WaveOutEngine.h"

#include "audio/player/PlayerLog.h"

#include <cmath>
#include <cstdlib>

namespace tavora::audio {

namespace mm = platform::audio;

WaveOutEngine::WaveOutEngine(mm::AudioPlatform& platform) : WaveEngine(platform) {}

WaveOutEngine::~WaveOutEngine() {
    destroyEngine();
}

// ---------------------------------------------------------------------------
// Device queries

uint32_t WaveOutEngine::getNumDevs() {
    return platform().waveOutCount();
}

WaveEngine::MmResult WaveOutEngine::validateDeviceID(int32_t deviceId) {
    mm::WaveOutCaps caps;
    return platform().waveOutCaps(static_cast<uint32_t>(deviceId), caps);
}

std::string WaveOutEngine::getDeviceName() {
    mm::WaveOutCaps caps;
    if (platform().waveOutCaps(static_cast<uint32_t>(deviceID()), caps) != mm::MMSYSERR_NOERROR)
        return {};
    return mm::fixedText(caps.productName);
}

WaveDeviceSupports WaveOutEngine::deviceSupport() {
    WaveDeviceSupports result;
    mm::WaveOutCaps caps;
    if (platform().waveOutCaps(static_cast<uint32_t>(deviceID()), caps) != mm::MMSYSERR_NOERROR)
        return result;
    const uint32_t bits = caps.support;
    if (bits & mm::WAVECAPS_VOLUME) {
        result.include(WaveDeviceSupport::Volume);
        if (bits & mm::WAVECAPS_LRVOLUME)
            result.include(WaveDeviceSupport::LeftRightVolume);
    }
    if (bits & mm::WAVECAPS_PITCH)
        result.include(WaveDeviceSupport::Pitch);
    if (bits & mm::WAVECAPS_PLAYBACKRATE)
        result.include(WaveDeviceSupport::PlaybackRate);
    if (bits & mm::WAVECAPS_SAMPLEACCURATE)
        result.include(WaveDeviceSupport::SampleAccurate);
    if (!(bits & mm::WAVECAPS_SYNC))
        result.include(WaveDeviceSupport::Asynchronous);
    return result;
}

PCMFormatSet WaveOutEngine::getDeviceFormats() {
    mm::WaveOutCaps caps;
    if (platform().waveOutCaps(static_cast<uint32_t>(deviceID()), caps) != mm::MMSYSERR_NOERROR)
        return {};
    // 8000 Hz is not in the capability bits; every device is taken to play it.
    PCMFormatSet formats{1, 2, 3, 4};
    for (uint8_t k = 1; k <= 12; ++k) {
        if (caps.formats & (1u << (k - 1)))
            formats.insert(static_cast<uint8_t>(4 + k));
    }
    return formats;
}

std::string WaveOutEngine::getErrorText(MmResult code) {
    std::string text;
    if (mm::waveErrorText(code, text) != mm::MMSYSERR_NOERROR)
        return {};
    return text;
}

bool WaveOutEngine::isFormatSupported(const WaveFormatEx& format) {
    return platform().openWaveOut(nullptr, static_cast<uint32_t>(deviceID()), &format, nullptr,
                                  mm::WAVE_FORMAT_QUERY) == mm::MMSYSERR_NOERROR;
}

uint32_t WaveOutEngine::getPosition() {
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

void WaveOutEngine::setPosition(uint32_t milliseconds) {
    std::lock_guard lock(engineLock());
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

uint32_t WaveOutEngine::multiplierToFixed(double value) {
    const double whole = std::trunc(value);
    const double fraction = std::fabs(value - whole);
    const auto high = static_cast<uint16_t>(static_cast<int32_t>(whole));
    const auto low = static_cast<uint16_t>(fraction * 65536.0);
    return uint32_t{high} << 16 | low;
}

double WaveOutEngine::fixedToMultiplier(uint32_t value) {
    return static_cast<int16_t>(value >> 16) + (value & 0xFFFF) / 65536.0;
}

uint16_t WaveOutEngine::volume() {
    if (device_ && deviceSupport().contains(WaveDeviceSupport::Volume)) {
        uint32_t value = 0;
        if (device_->volume(value) == mm::MMSYSERR_NOERROR)
            return static_cast<uint16_t>(mulDiv(value & 0xFFFF, 100, 65535));
    }
    return volume_;
}

void WaveOutEngine::setVolume(uint16_t value) {
    if (value == volume_)
        return;
    volume_ = value;
    if (device_ && options_.contains(WaveOutOption::SetVolume) &&
        deviceSupport().contains(WaveDeviceSupport::Volume))
        applyVolume();
}

void WaveOutEngine::applyVolume() {
    // Above 100 % the device level stays at its top rather than spilling
    // into the other channel's half.
    const uint32_t x = std::min<uint32_t>(mulDiv(volume_, 65535, 100), 0xFFFF);
    device_->setVolume(x << 16 | x);
}

// Pitch and playback rate work alike, each with its own control and option.
struct WaveOutEngine::Multiplier {
    WaveDeviceSupport control;
    WaveOutOption option;
    mm::MmResult (mm::WaveOutDevice::*get)(uint32_t&);
    mm::MmResult (mm::WaveOutDevice::*set)(uint32_t);
};

const WaveOutEngine::Multiplier WaveOutEngine::PitchControl{
    WaveDeviceSupport::Pitch, WaveOutOption::SetPitch, &mm::WaveOutDevice::pitch,
    &mm::WaveOutDevice::setPitch};
const WaveOutEngine::Multiplier WaveOutEngine::RateControl{
    WaveDeviceSupport::PlaybackRate, WaveOutOption::SetPlaybackRate, &mm::WaveOutDevice::playbackRate,
    &mm::WaveOutDevice::setPlaybackRate};

double WaveOutEngine::readMultiplier(const Multiplier& m, double stored) {
    if (!device_)
        return stored;
    if (!deviceSupport().contains(m.control))
        return 1.0;
    uint32_t value = 0;
    return (device_.get()->*m.get)(value) == mm::MMSYSERR_NOERROR ? fixedToMultiplier(value) : stored;
}

void WaveOutEngine::writeMultiplier(const Multiplier& m, double& stored, double value) {
    if (value == stored)
        return;
    stored = value;
    if (device_ && options_.contains(m.option) && deviceSupport().contains(m.control))
        applyMultiplier(m, stored);
}

void WaveOutEngine::applyMultiplier(const Multiplier& m, double value) {
    (device_.get()->*m.set)(multiplierToFixed(value));
}

double WaveOutEngine::pitch() {
    return readMultiplier(PitchControl, pitch_);
}
void WaveOutEngine::setPitch(double value) {
    writeMultiplier(PitchControl, pitch_, value);
}
double WaveOutEngine::playbackRate() {
    return readMultiplier(RateControl, playbackRate_);
}
void WaveOutEngine::setPlaybackRate(double value) {
    writeMultiplier(RateControl, playbackRate_, value);
}

void WaveOutEngine::setOptions(WaveOutOptions value) {
    if (value == options_)
        return;
    options_ = value;
    if (device_)
        applyOptions();
}

void WaveOutEngine::applyOptions() {
    if (!device_)
        return;
    const WaveDeviceSupports support = deviceSupport();
    if (options_.contains(WaveOutOption::SetVolume) && support.contains(WaveDeviceSupport::Volume))
        applyVolume();
    if (options_.contains(PitchControl.option) && support.contains(PitchControl.control))
        applyMultiplier(PitchControl, pitch_);
    if (options_.contains(RateControl.option) && support.contains(RateControl.control))
        applyMultiplier(RateControl, playbackRate_);
}

// ---------------------------------------------------------------------------
// Open, close, pause, resume

bool WaveOutEngine::internalOpen() {
    if (opening_)
        return false;
    if (active())
        throw WaveInvalidOperationError("Device is aleardy open");
    if (closing_)
        waitForNotifier();
    reapNotifyThread();
    std::lock_guard lock(engineLock());
    opening_ = true;
    struct Opening {
        std::atomic<bool>& flag;
        ~Opening() { flag = false; }
    } opening{opening_};

    const WaveFormatEx* format = nullptr;
    bool freeIt = true;
    struct Format {
        const WaveFormatEx*& format;
        bool& freeIt;
        ~Format() {
            if (freeIt)
                std::free(const_cast<WaveFormatEx*>(format));
        }
    } formatGuard{format, freeIt};
    getWaveFormat(format, freeIt);

    const auto deviceId = static_cast<uint32_t>(deviceID());
    const MmResult query = format ? platform().openWaveOut(nullptr, deviceId, format, nullptr,
                                                           mm::WAVE_FORMAT_QUERY | mm::WAVE_MAPPED)
                                  : mm::MMSYSERR_INVALPARAM;
    if (!checkResult(query))
        return false;
    // The device format keeps the head only (tag to bits per sample).
    deviceFormat_ = *format;
    deviceFormat_.cbSize = 0;
    closeIssued_ = false;
    failed_ = false;
    QObject* notifier = createNotifier();
    try {
        if (checkResult(platform().openWaveOut(&device_, deviceId, format, notifier, notifierKind())))
            return true;
    } catch (...) {
        device_.reset();
        releaseNotifier();
        throw;
    }
    device_.reset();
    releaseNotifier();
    return false;
}

bool WaveOutEngine::internalClose() {
    if (closing_)
        return false;
    if (opening_)
        waitWhileOpening();
    if (!active())
        throw WaveInvalidOperationError("Device is aleardy close");
    std::lock_guard lock(engineLock());
    closing_ = true;
    try {
        if (!checkResult(device_ ? device_->reset() : mm::MMSYSERR_INVALHANDLE)) {
            closing_ = false;
            return false;
        }
        // With buffers queued, the reset sends them back and the last one to
        // come back closes the device.
        if (queuedCount() == 0)
            return checkResult(closeDevice());
        return true;
    } catch (...) {
        closing_ = false;
        throw;
    }
}

bool WaveOutEngine::internalPause() {
    if (paused_)
        return false;
    std::lock_guard lock(engineLock());
    if (device_ && !checkResult(device_->pause()))
        return false;
    paused_ = true;
    notifyPause();
    return true;
}

bool WaveOutEngine::internalResume() {
    if (!paused_)
        return false;
    std::lock_guard lock(engineLock());
    if (device_ && !checkResult(device_->restart()))
        return false;
    paused_ = false;
    notifyResume();
    return true;
}

WaveEngine::MmResult WaveOutEngine::closeDevice() {
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

void WaveOutEngine::abandonDevice() {
    std::lock_guard lock(engineLock());
    device_.reset(); // stops it without notifications; its buffers are not touched again
    closing_ = false;
    opening_ = false;
    releaseNotifier();
    releaseAllBuffers();
}

void WaveOutEngine::flushClosingDevice() {
    std::lock_guard lock(engineLock());
    if (closing_ && device_ && !closeIssued_)
        device_->reset();
}

// ---------------------------------------------------------------------------
// Notifications and the buffer cycle

void WaveOutEngine::waveOutOpened() {
    applyOptions();
    positionOffset_ = 0;
    // A close that came before this notification leaves nothing to pause.
    if (paused_ && !closing_)
        paused_ = checkResult(device_->pause());
    WaveEngine::waveOutOpened();
}

void WaveOutEngine::waveOutClosed() {
    device_.reset();
    WaveEngine::waveOutClosed();
}

void WaveOutEngine::startFeeding() {
    if (queuedCount() == 0 && device_ && !closing_)
        postNotification(WaveMessage::WomDone, nullptr);
}

void WaveOutEngine::waveOutDone(WaveHeader* header) {
    if (!device_) {
        freeHeader(header);
        return;
    }
    try {
        if (header)
            checkResult(device_->unprepareHeader(*header));
        if (!closing_) {
            const size_t count = effectiveBufferCount();
            // The returned header is still listed, so it counts.
            if ((header && queuedCount() > count) || (!header && queuedCount() >= count))
                reallocHeader(header, 0);
            else
                refillAndWrite(header);
        }
    } catch (...) {
        endAfterFailure(header);
        throw;
    }
    finishCycle(header);
}

void WaveOutEngine::refillAndWrite(WaveHeader*& header) {
    uint32_t loops = 0;
    uint32_t n = 0;
    if (copyMode_) {
        if (reallocHeader(header, bufferBytes())) {
            n = fillBuffer(header->data, header->bufferLength, loops);
            if (n < header->bufferLength)
                reallocHeader(header, n);
        }
        closing_ = (n == 0);
    } else {
        uint8_t* data = nullptr;
        bool takeOwnership = true;
        n = getBufferData(data, loops, takeOwnership);
        const bool silence = data == nullptr && n > 0;
        if (silence) {
            if (queuedCount() > 1) {
                n = 0;
            } else {
                takeOwnership = true;
                n = timeToBufferSize(deviceFormat_, n);
            }
        }
        reallocHeader(header, n, data);
        if (header && takeOwnership)
            header->user = reinterpret_cast<uintptr_t>(static_cast<WaveEngine*>(this));
        if (silence && header)
            fillSilence(header->data, header->bufferLength, deviceFormat_.wBitsPerSample);
        closing_ = (n == 0 && !silence);
    }
    if (closing_ || header == nullptr)
        return;
    if (loops != 0) {
        header->flags = mm::WHDR_BEGINLOOP | mm::WHDR_ENDLOOP;
        header->loops = loops;
    }
    if (!writeBuffer(header)) {
        endAfterFailure(header);
        return;
    }
    if (queuedCount() < effectiveBufferCount())
        postNotification(WaveMessage::WomDone, nullptr);
}

void WaveOutEngine::finishCycle(WaveHeader*& header) {
    if (closing_ && header) {
        if (header->flags & mm::WHDR_PREPARED)
            device_->unprepareHeader(*header);
        reallocHeader(header, 0);
    }
    if (closing_ && queuedCount() == 0) {
        // A device that went away hands back the buffers it never played
        // like played ones; once everything was written, nothing else shows
        // the loss, so its position is asked before it is closed.
        mm::MmTime time;
        time.type = mm::TIME_MS;
        const MmResult lost = failed_ ? mm::MMSYSERR_NOERROR : device_->position(time);
        checkResult(closeDevice());
        if (mm::waveDeviceGone(lost))
            checkResult(lost);
    }
}

void WaveOutEngine::endAfterFailure(WaveHeader*& header) {
    failed_ = true;
    closing_ = true;
    if (header) {
        if (header->flags & mm::WHDR_PREPARED)
            device_->unprepareHeader(*header);
        freeHeader(header);
    }
    if (queuedCount() > 0) {
        device_->reset();
    } else if (const MmResult result = closeDevice(); result != mm::MMSYSERR_NOERROR) {
        qCWarning(lcPlayer) << "closing the wave device after a failed buffer failed with" << result;
    }
}

bool WaveOutEngine::writeBuffer(WaveHeader* header) {
    bool preparedHere = false;
    if (!(header->flags & mm::WHDR_PREPARED)) {
        if (!checkResult(device_->prepareHeader(*header)))
            return false;
        preparedHere = true;
    }
    try {
        notifyBufferData(header->data, header->bufferLength);
        notifyLevel(header->data, header->bufferLength);
        if (checkResult(device_->write(*header)))
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

bool WaveOutEngine::writeBlock(uint8_t* data, uint32_t size, bool takeOwnership, uint32_t loops) {
    std::lock_guard lock(engineLock());
    if (!device_)
        return false;
    WaveHeader* header = nullptr;
    if (!reallocHeader(header, size, data))
        return false;
    if (takeOwnership)
        header->user = reinterpret_cast<uintptr_t>(static_cast<WaveEngine*>(this));
    if (loops != 0) {
        header->flags = mm::WHDR_BEGINLOOP | mm::WHDR_ENDLOOP;
        header->loops = loops;
    }
    try {
        if (writeBuffer(header))
            return true;
    } catch (...) {
        freeHeader(header);
        throw;
    }
    freeHeader(header);
    return false;
}

uint32_t WaveOutEngine::fillBuffer(uint8_t*, uint32_t, uint32_t&) {
    return 0;
}

uint32_t WaveOutEngine::getBufferData(uint8_t*&, uint32_t&, bool&) {
    return 0;
}

} // namespace tavora::audio
