#pragma once

// Records from a wave input device in a given format (the codecs convert a
// compressed one on the fly) through a small ring of buffers, and hands each
// filled buffer to OnBufferFull before queueing it again.
//
// Every operation, and OnBufferFull, runs on the thread that created the
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

class TCaptureStream;

// Data is valid only during the call; a handler copies what it keeps.
using TBufferFullEvent = std::function<void(TCaptureStream* sender, const std::uint8_t* data, int size)>;

class TCaptureStream {
public:
    static constexpr std::uint32_t DefaultBufferSize = 8192;
    static constexpr std::uint8_t DefaultNumBuffers = 4;
    static constexpr std::uint8_t MinNumBuffers = 2;
    static constexpr std::uint8_t MaxNumBuffers = 64;

    explicit TCaptureStream(platform::audio::AudioPlatform& platform);
    ~TCaptureStream();
    TCaptureStream(const TCaptureStream&) = delete;
    TCaptureStream& operator=(const TCaptureStream&) = delete;

    // Bytes per buffer. Ignored while recording.
    std::uint32_t BufferSize() const { return bufferSize_; }
    void SetBufferSize(std::uint32_t size);
    // Buffers queued by Open, 2..64 (other values are brought into that
    // range). Ignored while recording.
    std::uint8_t NumBuffers() const { return numBuffers_; }
    void SetNumBuffers(int count);

    TBufferFullEvent OnBufferFull;
    // Called (on the stream's thread) when a buffer cannot be queued again
    // because the device or the sound server has gone away; the run is over
    // and the owner ends it. Without a handler that failure raises like any
    // other. Once called, the stream releases what comes back quietly.
    TDeviceLostEvent OnDeviceLost;

    // Opens input device `deviceId` in `format` (a whole format record: the
    // head, its extra bytes and any spare space) and starts recording. Does
    // nothing while recording. Throws ECaptureStreamError; a failed Open
    // leaves nothing open and nothing queued.
    void Open(std::span<const std::uint8_t> format, std::uint32_t deviceId);
    // Stops recording, closes the device and releases every buffer. No
    // OnBufferFull call follows, not even for buffers the device had already
    // returned. Does nothing while closed. Never throws.
    void Close();

    bool Active() const { return active_; }
    // Buffers allocated and not yet released.
    std::size_t BufferCount() const { return buffers_.size(); }
    // Receives the device's notifications.
    QObject* NotifyWindow() const;

    // Handles a buffer the device has returned (the device's WimData).
    void BufferDone(platform::audio::WaveHeader* header);

private:
    void AddBuffer();
    // Queues a returned buffer again; answers the failed step and its code.
    platform::audio::MmResult Requeue(platform::audio::WaveHeader& header, const char*& step);
    void ReleaseBuffer(platform::audio::WaveHeader* header);
    // Resets and closes the device, releases every buffer and drops the
    // notifications already posted for them.
    void ShutDown();
    static void RaiseError(const char* name, platform::audio::MmResult code);

    platform::audio::AudioPlatform& platform_;
    bool active_ = false;
    bool lost_ = false;    // the device went away during this run
    TLoopBuffers buffers_; // in allocation order
    std::uint32_t bufferSize_ = DefaultBufferSize;
    std::vector<std::uint8_t> format_;
    std::uint8_t numBuffers_ = DefaultNumBuffers;
    std::unique_ptr<platform::audio::WaveInDevice> device_;
    std::unique_ptr<platform::audio::WaveNotifyReceiver> notifyWindow_;
};

} // namespace tavora::audio
