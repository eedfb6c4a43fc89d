#include "audio/loopback/CaptureStream.h"

#include "platform/audio/WaveNotify.h"

#include <algorithm>
#include <cstring>

namespace tavora::audio {

namespace pa = platform::audio;

CaptureStream::CaptureStream(pa::AudioPlatform& platform)
    : platform_(platform), notifyWindow_(std::make_unique<pa::WaveNotifyReceiver>()) {
    notifyWindow_->setHandler([this](pa::WaveMessage message, pa::WaveHeader* header) {
        if (message == pa::WaveMessage::WimData)
            bufferDone(header);
    });
}

CaptureStream::~CaptureStream() {
    close();
}

QObject* CaptureStream::notifyWindow() const {
    return notifyWindow_.get();
}

void CaptureStream::setBufferSize(std::uint32_t size) {
    if (!active_)
        bufferSize_ = size;
}

void CaptureStream::setNumBuffers(int count) {
    if (!active_)
        numBuffers_ = static_cast<std::uint8_t>(std::clamp<int>(count, MinNumBuffers, MaxNumBuffers));
}

void CaptureStream::raiseError(const char* name, pa::MmResult code) {
    if (code != pa::MMSYSERR_NOERROR)
        throw CaptureStreamError(loopStreamErrorMessage(name, code));
}

void CaptureStream::open(std::span<const std::uint8_t> format, std::uint32_t deviceId) {
    if (active_)
        return;
    device_.reset();
    format_.assign(format.begin(), format.end());
    const pa::WaveFormatEx* head = formatHead(format_);
    if (!head)
        raiseError("WaveIn-Open", pa::MMSYSERR_INVALPARAM);

    lost_ = false;
    const LoopDevice at = chooseLoopDevice(*head, deviceId);
    raiseError("WaveIn-Open", platform_.openWaveIn(&device_, at.device, head, notifyWindow_.get(), at.flags));
    try {
        for (int i = 0; i < numBuffers_; ++i)
            addBuffer();
        raiseError("WaveIn-Start", device_->start());
    } catch (...) {
        // A half-opened device would keep recording into buffers that no
        // Close would ever release.
        shutDown();
        throw;
    }
    active_ = true;
}

void CaptureStream::addBuffer() {
    auto buffer = std::make_unique<LoopBuffer>(bufferSize_);
    pa::WaveHeader& header = buffer->header;
    buffers_.push_back(std::move(buffer));
    raiseError("WaveIn-PrepareHeader", device_->prepareHeader(header));
    raiseError("WaveIn-AddBuffer", device_->addBuffer(header));
}

void CaptureStream::bufferDone(pa::WaveHeader* header) {
    // Only the stream's own buffers are touched: the pointer is compared
    // before it is followed.
    LoopBuffer* buffer = findLoopBuffer(buffers_, header);
    if (!buffer)
        return;
    if (!active_ || lost_) {
        releaseBuffer(header);
        return;
    }
    const std::uint32_t size = std::min(header->bytesRecorded, header->bufferLength);
    if (onBufferFull) {
        const std::vector<std::uint8_t> copy(header->data, header->data + size);
        onBufferFull(this, copy.data(), static_cast<int>(size));
        // The handler may have closed the stream, and with it this buffer.
        if (!active_ || findLoopBuffer(buffers_, header) != buffer)
            return;
    }
    const char* step = nullptr;
    const pa::MmResult result = requeue(*header, step);
    if (result == pa::MMSYSERR_NOERROR)
        return;
    if (pa::waveDeviceGone(result) && onDeviceLost) {
        // Every other buffer comes back the same way; one report ends the run.
        lost_ = true;
        releaseBuffer(header);
        onDeviceLost(result);
        return;
    }
    raiseError(step, result);
}

pa::MmResult CaptureStream::requeue(pa::WaveHeader& header, const char*& step) {
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

void CaptureStream::releaseBuffer(pa::WaveHeader* header) {
    LoopBuffer* buffer = findLoopBuffer(buffers_, header);
    if (!buffer)
        return;
    if (device_)
        device_->unprepareHeader(*header);
    std::erase_if(buffers_, [buffer](const auto& b) { return b.get() == buffer; });
}

void CaptureStream::close() {
    if (!active_)
        return;
    active_ = false;
    shutDown();
}

void CaptureStream::shutDown() {
    closeLoopDevice(device_, buffers_, notifyWindow_.get());
}

} // namespace tavora::audio
