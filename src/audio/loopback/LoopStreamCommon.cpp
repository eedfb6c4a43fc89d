#include "audio/loopback/LoopStreamCommon.h"

#include "platform/audio/AudioPlatform.h"
#include "platform/audio/WaveNotify.h"

#include <QCoreApplication>

#include <algorithm>

namespace tavora::audio {

namespace pa = platform::audio;

Q_LOGGING_CATEGORY(lcLoopback, "tavora.audio.loopback")

namespace {

template <typename Device>
void closeDevice(std::unique_ptr<Device>& device, LoopBuffers& buffers, QObject* notifyWindow) {
    if (device) {
        device->reset();
        device->close();
    }
    while (!buffers.empty()) {
        if (device)
            device->unprepareHeader(buffers.back()->header);
        buffers.pop_back();
    }
    device.reset();
    QCoreApplication::removePostedEvents(notifyWindow, pa::WaveNotifyEvent::eventType());
}

const char* errorText(pa::MmResult code) {
    switch (code) {
    case pa::MMSYSERR_BADDEVICEID:
        return " The specified resource does not exist.";
    case pa::MMSYSERR_ALLOCATED:
        return " The specified resource is already in use.";
    case pa::MMSYSERR_INVALHANDLE:
        return " The specified handle is invalid.";
    case pa::MMSYSERR_NODRIVER:
        return " A suitable driver is not available to provide valid format selections.";
    case pa::MMSYSERR_NOMEM:
        return " The system is unable to allocate resources.";
    case pa::MMSYSERR_INVALFLAG:
        return " At least one flag is invalid.";
    case pa::MMSYSERR_INVALPARAM:
        return " At least one parameter is invalid.";
    case pa::WAVERR_BADFORMAT:
        return " Unsupported audio format.";
    case pa::WAVERR_SYNC:
        return " The specified device does not support asynchronous operation.";
    case pa::ACMERR_NOTPOSSIBLE:
        return " The requested operation cannot be performed.";
    case pa::ACMERR_BUSY:
        return " The conversion stream is already in use.";
    case pa::ACMERR_UNPREPARED:
        return " Cannot perform this action on a header that has not been prepared.";
    default:
        return nullptr;
    }
}

} // namespace

std::string loopStreamErrorMessage(const std::string& name, pa::MmResult code) {
    if (const char* text = errorText(code))
        return name + text;
    // The code is printed as the signed 32-bit number it is on the wire.
    return name + " raised an unknown error (code #" + std::to_string(static_cast<std::int32_t>(code)) + ")";
}

const pa::WaveFormatEx* formatHead(std::span<const std::uint8_t> record) {
    if (record.size() < sizeof(pa::WaveFormatEx))
        return nullptr;
    const auto* head = reinterpret_cast<const pa::WaveFormatEx*>(record.data());
    if (sizeof(pa::WaveFormatEx) + head->cbSize > record.size())
        return nullptr;
    return head;
}

LoopDevice chooseLoopDevice(const pa::WaveFormatEx& head, std::uint32_t deviceId) {
    if (head.wFormatTag == pa::WAVE_FORMAT_PCM)
        return {pa::WAVE_MAPPER, pa::CALLBACK_WINDOW};
    return {deviceId, pa::CALLBACK_WINDOW | pa::WAVE_MAPPED};
}

LoopBuffer::LoopBuffer(std::uint32_t size) : data(std::make_unique<std::uint8_t[]>(size)) {
    header.data = data.get();
    header.bufferLength = size;
}

LoopBuffer* findLoopBuffer(const LoopBuffers& buffers, const pa::WaveHeader* header) {
    const auto it = std::find_if(buffers.begin(), buffers.end(),
                                 [header](const auto& buffer) { return &buffer->header == header; });
    return it == buffers.end() ? nullptr : it->get();
}

void closeLoopDevice(std::unique_ptr<pa::WaveInDevice>& device, LoopBuffers& buffers,
                     QObject* notifyWindow) {
    closeDevice(device, buffers, notifyWindow);
}

void closeLoopDevice(std::unique_ptr<pa::WaveOutDevice>& device, LoopBuffers& buffers,
                     QObject* notifyWindow) {
    closeDevice(device, buffers, notifyWindow);
}

} // namespace tavora::audio
