#include "audio/loopback/PlaybackStream.h"

#include "platform/audio/WaveNotify.h"

#include <algorithm>
#include <cstring>

namespace tavora::audio {

namespace pa = platform::audio;

using Guard = std::lock_guard<std::recursive_mutex>;

PlaybackStream::PlaybackStream(pa::AudioPlatform& platform)
    : platform_(platform), notifyWindow_(std::make_unique<pa::WaveNotifyReceiver>()) {
    notifyWindow_->setHandler([this](pa::WaveMessage message, pa::WaveHeader* header) {
        if (message == pa::WaveMessage::WomDone)
            bufferDone(header);
    });
}

PlaybackStream::~PlaybackStream() {
    close();
}

std::uint8_t PlaybackStream::numBuffers() const {
    Guard guard(lock_);
    return numBuffers_;
}

void PlaybackStream::setNumBuffers(std::uint8_t count) {
    Guard guard(lock_);
    numBuffers_ = count;
}

std::uint8_t PlaybackStream::freeSlots() const {
    Guard guard(lock_);
    return freeSlots_;
}

bool PlaybackStream::active() const {
    Guard guard(lock_);
    return active_;
}

std::size_t PlaybackStream::bufferCount() const {
    Guard guard(lock_);
    return buffers_.size();
}

std::uint64_t PlaybackStream::droppedBlocks() const {
    Guard guard(lock_);
    return dropped_;
}

QObject* PlaybackStream::notifyWindow() const {
    return notifyWindow_.get();
}

void PlaybackStream::raiseError(const char* name, pa::MmResult code) {
    if (code != pa::MMSYSERR_NOERROR)
        throw PlaybackStreamError(loopStreamErrorMessage(name, code));
}

void PlaybackStream::open(std::span<const std::uint8_t> format, std::uint32_t deviceId) {
    Guard guard(lock_);
    if (active_)
        return;
    device_.reset();
    freeSlots_ = numBuffers_;
    dropped_ = 0;
    lost_ = false;
    format_.assign(format.begin(), format.end());
    const pa::WaveFormatEx* head = formatHead(format_);
    if (!head)
        raiseError("WaveOutOpen", pa::MMSYSERR_INVALPARAM);

    const LoopDevice at = chooseLoopDevice(*head, deviceId);
    raiseError("WaveOutOpen",
               platform_.openWaveOut(&device_, at.device, head, notifyWindow_.get(), at.flags));
    active_ = true;
}

LoopBuffer& PlaybackStream::newHeader(std::uint32_t size) {
    buffers_.push_back(std::make_unique<LoopBuffer>(size));
    return *buffers_.back();
}

void PlaybackStream::play(const std::uint8_t* data, std::uint32_t size) {
    Guard guard(lock_);
    if (size == 0 || !active_)
        return;
    if (freeSlots_ == 0) {
        ++dropped_;
        qCDebug(lcLoopback) << "every slot taken; block of" << size << "bytes dropped";
        return;
    }
    LoopBuffer& buffer = newHeader(size);
    std::memcpy(buffer.data.get(), data, size);
    pa::WaveHeader& header = buffer.header;
    header.loops = 1;
    --freeSlots_;
    // A block the device refused never comes back from it: give its slot
    // back at once, or the stream would lose one slot per failure for good.
    if (const pa::MmResult result = device_->prepareHeader(header); result != pa::MMSYSERR_NOERROR) {
        releaseHeader(&header);
        raiseError("WaveOut-PrepareHeader", result);
    }
    if (const pa::MmResult result = device_->write(header); result != pa::MMSYSERR_NOERROR) {
        releaseHeader(&header);
        if (pa::waveDeviceGone(result) && onDeviceLost && !lost_) {
            lost_ = true;
            onDeviceLost(result);
        }
        raiseError("WaveOut-Write", result);
    }
}

void PlaybackStream::bufferDone(pa::WaveHeader* header) {
    Guard guard(lock_);
    LoopBuffer* buffer = findLoopBuffer(buffers_, header);
    if (!active_ || !buffer)
        return;
    if (onBufferPlayed) {
        onBufferPlayed(this, header);
        if (!active_ || findLoopBuffer(buffers_, header) != buffer)
            return;
    }
    // Should the device refuse, the buffer stays in the list (and its slot
    // taken) until Close: it may still be the device's.
    raiseError("WaveOut-UnprepareHeader", device_->unprepareHeader(*header));
    releaseHeader(header);
}

void PlaybackStream::releaseHeader(pa::WaveHeader* header) {
    LoopBuffer* buffer = findLoopBuffer(buffers_, header);
    if (!buffer)
        return;
    if (device_)
        device_->unprepareHeader(*header);
    std::erase_if(buffers_, [buffer](const auto& b) { return b.get() == buffer; });
    ++freeSlots_;
}

void PlaybackStream::close() {
    Guard guard(lock_);
    if (!active_)
        return;
    active_ = false;
    // Every buffer the close frees is a slot free again.
    freeSlots_ = static_cast<std::uint8_t>(freeSlots_ + buffers_.size());
    closeLoopDevice(device_, buffers_, notifyWindow_.get());
}

} // namespace tavora::audio
