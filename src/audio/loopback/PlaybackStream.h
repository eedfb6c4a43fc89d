#pragma once

// Plays blocks of audio on a wave output device in a given format (the codecs
// decode a compressed one on the fly). Each block handed to Play is copied
// into a buffer of its own and written to the device at once, as long as
// fewer than numBuffers of the stream's buffers are at the device.
//
// Play may be called from any thread; Open, Close and the device's
// notifications run on the thread that created the stream. One lock
// serialises all of them.

#include "audio/loopback/LoopStreamCommon.h"
#include "platform/audio/AudioPlatform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

class QObject;

namespace tavora::platform::audio {
class WaveNotifyReceiver;
}

namespace tavora::audio {

class PlaybackStream;

// Called with the stream's lock held: a handler may call Play, but must not
// wait for another thread that does.
using BufferPlayedEvent = std::function<void(PlaybackStream* sender, platform::audio::WaveHeader* header)>;

class PlaybackStream {
public:
    static constexpr std::uint8_t DefaultNumBuffers = 4;

    explicit PlaybackStream(platform::audio::AudioPlatform& platform);
    ~PlaybackStream();
    PlaybackStream(const PlaybackStream&) = delete;
    PlaybackStream& operator=(const PlaybackStream&) = delete;

    // Buffers that may be at the device at once; takes effect at the next Open.
    std::uint8_t numBuffers() const;
    void setNumBuffers(std::uint8_t count);
    // How many more buffers may be written to the device now.
    std::uint8_t freeSlots() const;

    // Called for each buffer the device hands back while open, before the
    // buffer is released.
    BufferPlayedEvent onBufferPlayed;
    // Called once per run, on the thread that calls Play and with the
    // stream's lock held, when the device refuses a block because it or the
    // sound server has gone away (Play raises as well). A handler only
    // passes the news on, for example by posting it to its own thread.
    DeviceLostEvent onDeviceLost;

    // Opens output device `deviceId` in `format` (a whole format record).
    // Does nothing while open. Throws PlaybackStreamError.
    void open(std::span<const std::uint8_t> format, std::uint32_t deviceId);
    // Copies `size` bytes and writes them to the device; never waits for it.
    // Does nothing when `size` is 0 or the stream is closed. A block that
    // comes while every slot is taken is dropped at once: the device then
    // already holds numBuffers blocks, and holding back one more would only
    // add its length to the delay of everything after it. Throws
    // PlaybackStreamError when the device refuses the block (its slot is
    // given back).
    void play(const std::uint8_t* data, std::uint32_t size);
    // Stops playing at once, closes the device and releases every buffer.
    // Does nothing while closed. Never throws.
    void close();

    bool active() const;
    // Buffers allocated and not yet released.
    std::size_t bufferCount() const;
    // Blocks dropped by Play because no slot was free, since the last Open.
    std::uint64_t droppedBlocks() const;
    // Receives the device's notifications.
    QObject* notifyWindow() const;

    // Handles a buffer the device has returned (the device's WomDone).
    void bufferDone(platform::audio::WaveHeader* header);

private:
    LoopBuffer& newHeader(std::uint32_t size);
    void releaseHeader(platform::audio::WaveHeader* header);
    static void raiseError(const char* name, platform::audio::MmResult code);

    platform::audio::AudioPlatform& platform_;
    mutable std::recursive_mutex lock_;
    bool active_ = false;
    bool lost_ = false; // the device went away during this run
    std::uint8_t freeSlots_ = 0;
    std::uint8_t numBuffers_ = DefaultNumBuffers;
    LoopBuffers buffers_;
    std::vector<std::uint8_t> format_;
    std::uint64_t dropped_ = 0;
    std::unique_ptr<platform::audio::WaveOutDevice> device_;
    std::unique_ptr<platform::audio::WaveNotifyReceiver> notifyWindow_;
};

} // namespace tavora::audio
