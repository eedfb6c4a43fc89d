#include "audio/loopback/CaptureStream.h"

#include "platform/audio/WaveNotify.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>

namespace tavora::audio {

namespace pa = platform::audio;

TCaptureStream::TCaptureStream(pa::AudioPlatform& platform)
    : platform_(platform), notifyWindow_(std::make_unique<pa::WaveNotifyReceiver>()) {
    notifyWindow_->setHandler([this](pa::WaveMessage message, pa::WaveHeader* header) {
        if (message == pa::WaveMessage::WimData)
            BufferDone(header);
    });
}

TCaptureStream::~TCaptureStream() {
    Close();
}

QObject* TCaptureStream::NotifyWindow() const {
    return notifyWindow_.get();
}

void TCaptureStream::SetBufferSize(std::uint32_t size) {
    if (!active_)
        bufferSize_ = size;
}

void TCaptureStream::SetNumBuffers(int count) {
    if (!active_)
        numBuffers_ = static_cast<std::uint8_t>(std::clamp<int>(count, MinNumBuffers, MaxNumBuffers));
}

void TCaptureStream::RaiseError(const char* name, pa::MmResult code) {
    if (code != pa::MMSYSERR_NOERROR)
        throw ECaptureStreamError(LoopStreamErrorMessage(name, code));
}

void TCaptureStream::Open(std::span<const std::uint8_t> format, std::uint32_t deviceId) {
    if (active_)
        return;
    device_.reset();
    format_.assign(format.begin(), format.end());
    const pa::WaveFormatEx* head = FormatHead(format_);
    if (!head)
        RaiseError("WaveIn-Open", pa::MMSYSERR_INVALPARAM);

    lost_ = false;
    const TLoopDevice at = ChooseLoopDevice(*head, deviceId);
    RaiseError("WaveIn-Open", platform_.openWaveIn(&device_, at.device, head, notifyWindow_.get(), at.flags));
    try {
        for (int i = 0; i < numBuffers_; ++i)
            AddBuffer();
        RaiseError("WaveIn-Start", device_->start());
    } catch (...) {
        // A half-opened device would keep recording into buffers that no
        // Close would ever release.
        ShutDown();
        throw;
    }
    active_ = true;
}

void TCaptureStream::AddBuffer() {
    auto buffer = std::make_unique<TLoopBuffer>(bufferSize_);
    pa::WaveHeader& header = buffer->header;
    buffers_.push_back(std::move(buffer));
    RaiseError("WaveIn-PrepareHeader", device_->prepareHeader(header));
    RaiseError("WaveIn-AddBuffer", device_->addBuffer(header));
}

void TCaptureStream::BufferDone(pa::WaveHeader* header) {
    // Only the stream's own buffers are touched: the pointer is compared
    // before it is followed.
    TLoopBuffer* buffer = FindLoopBuffer(buffers_, header);
    if (!buffer)
        return;
    if (!active_ || lost_) {
        ReleaseBuffer(header);
        return;
    }
    const std::uint32_t size = std::min(header->bytesRecorded, header->bufferLength);
    if (OnBufferFull) {
        const std::vector<std::uint8_t> copy(header->data, header->data + size);
        OnBufferFull(this, copy.data(), static_cast<int>(size));
        // The handler may have closed the stream, and with it this buffer.
        if (!active_ || FindLoopBuffer(buffers_, header) != buffer)
            return;
    }
    const char* step = nullptr;
    const pa::MmResult result = Requeue(*header, step);
    if (result == pa::MMSYSERR_NOERROR)
        return;
    if (pa::waveDeviceGone(result) && OnDeviceLost) {
        // Every other buffer comes back the same way; one report ends the run.
        lost_ = true;
        ReleaseBuffer(header);
        OnDeviceLost(result);
        return;
    }
    RaiseError(step, result);
}

pa::MmResult TCaptureStream::Requeue(pa::WaveHeader& header, const char*& step) {
    step = "WaveIn-UnprepareHeader";
    if (const pa::MmResult r = device_->unprepareHeader(header))
        return r;
    header.bufferLength = bufferSize_;
    header.bytesRecorded = 0;
    header.user = 0;
    header.flags = 0;
    header.loops = 0;
    std::memset(header.data, 0, bufferSize_);
    step = "WaveIn-PrepareHeader";
    if (const pa::MmResult r = device_->prepareHeader(header))
        return r;
    step = "WaveInAddBuffer";
    return device_->addBuffer(header);
}

void TCaptureStream::ReleaseBuffer(pa::WaveHeader* header) {
    TLoopBuffer* buffer = FindLoopBuffer(buffers_, header);
    if (!buffer)
        return;
    if (device_)
        device_->unprepareHeader(*header);
    std::erase_if(buffers_, [buffer](const auto& b) { return b.get() == buffer; });
}

void TCaptureStream::Close() {
    if (!active_)
        return;
    active_ = false;
    ShutDown();
}

void TCaptureStream::ShutDown() {
    if (device_) {
        device_->reset();
        device_->close();
    }
    while (!buffers_.empty())
        ReleaseBuffer(&buffers_.back()->header);
    device_.reset();
    // The reset has posted a notification for every buffer just released.
    // Were they left in the queue, a later Open could allocate a buffer at
    // the same address and take a stale notification for its own.
    QCoreApplication::removePostedEvents(notifyWindow_.get(), pa::WaveNotifyEvent::eventType());
}

} // namespace tavora::audio
