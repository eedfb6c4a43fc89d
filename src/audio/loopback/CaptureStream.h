#pragma once

// Records from a wave input device in a given format (the codecs convert a
// compressed one on the fly) through a small ring of buffers, and hands each
// filled buffer to onBufferFull before queueing it again.
//
// Every operation, and onBufferFull, runs on the thread that created the
// stream: the device's notifications are posted to an object of that thread.
// The stream has no lock of its own.

#include "audio/loopback/LoopStreamCommon.h"
#include "platform/audio/AudioPlatform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

class QObject;

namespace tavora::platform::audio {
class WaveNotifyReceiver;
}

namespace tavora::audio {

class CaptureStream;

// Data is valid only during the call; a handler copies what it keeps.
using BufferFullEvent = std::function<void(CaptureStream* sender, const std::uint8_t* data, int size)>;

class CaptureStream {
public:
    static constexpr std::uint32_t DefaultBufferSize = 8192;
    static constexpr std::uint8_t DefaultNumBuffers = 4;
    static constexpr std::uint8_t MinNumBuffers = 2;
    static constexpr std::uint8_t MaxNumBuffers = 64;

    explicit CaptureStream(platform::audio::AudioPlatform& platform);
    ~CaptureStream();
    CaptureStream(const CaptureStream&) = delete;
    CaptureStream& operator=(const CaptureStream&) = delete;

    // Bytes per buffer. Ignored while recording.
    std::uint32_t bufferSize() const { return bufferSize_; }
    void setBufferSize(std::uint32_t size);
    // Buffers queued by Open, 2..64 (other values are brought into that
    // range). Ignored while recording.
    std::uint8_t numBuffers() const { return numBuffers_; }
    void setNumBuffers(int count);

    BufferFullEvent onBufferFull;
    // Called (on the stream's thread) when a buffer cannot be queued again
    // because the device or the sound server has gone away; the run is over
    // and the owner ends it. Without a handler that failure raises like any
    // other. Once called, the stream releases what comes back quietly.
    DeviceLostEvent onDeviceLost;

    // Opens input device `deviceId` in `format` (a whole format record: the
    // head, its extra bytes and any spare space) and starts recording. Does
    // nothing while recording. Throws CaptureStreamError; a failed Open
    // leaves nothing open and nothing queued.
    void open(std::span<const std::uint8_t> format, std::uint32_t deviceId);
    // Stops recording, closes the device and releases every buffer. No
    // onBufferFull call follows, not even for buffers the device had already
    // returned. Does nothing while closed. Never throws.
    void close();

    bool active() const { return active_; }
    // Buffers allocated and not yet released.
    std::size_t bufferCount() const { return buffers_.size(); }
    // Receives the device's notifications.
    QObject* notifyWindow() const;

    // Handles a buffer the device has returned (the device's WimData).
    void bufferDone(platform::audio::WaveHeader* header);

private:
    void addBuffer();
    // Queues a returned buffer again; answers the failed step and its code.
    platform::audio::MmResult requeue(platform::audio::WaveHeader& header, const char*& step);
    void releaseBuffer(platform::audio::WaveHeader* header);
    // Resets and closes the device, releases every buffer and drops the
    // notifications already posted for them.
    void shutDown();
    static void raiseError(const char* name, platform::audio::MmResult code);

    platform::audio::AudioPlatform& platform_;
    bool active_ = false;
    bool lost_ = false;    // the device went away during this run
    LoopBuffers buffers_; // in allocation order
    std::uint32_t bufferSize_ = DefaultBufferSize;
    std::vector<std::uint8_t> format_;
    std::uint8_t numBuffers_ = DefaultNumBuffers;
    std::unique_ptr<platform::audio::WaveInDevice> device_;
    std::unique_ptr<platform::audio::WaveNotifyReceiver> notifyWindow_;
};

} // namespace tavora::audio
