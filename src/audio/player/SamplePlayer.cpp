#include "audio/player/SamplePlayer.h"

#include <algorithm>

namespace tavora::audio {

SamplePlayer::SamplePlayer(platform::audio::AudioPlatform& platform) : WaveOutEngine(platform) {
    wave_.onChange = [this](WaveImage* sender) { waveChanged(sender); };
    setCopyMode(false);
}

SamplePlayer::~SamplePlayer() {
    // The device must be closed while the wave's memory, which it reads, is
    // still there.
    destroyEngine();
}

void SamplePlayer::setWave(const WaveImage* value) {
    if (value == &wave_)
        return;
    setActive(false);
    if (value)
        wave_.loadFromStream(*value);
    else
        wave_.clear();
}

void SamplePlayer::waveChanged(WaveImage*) {
    // The wave tells before its memory changes. Stopping resets the device,
    // which then no longer reads the queued buffers; a close at the end of
    // the data is already under way and only needs its last buffers back.
    setActive(false);
    if (active() && closing_)
        flushClosingDevice();
}

void SamplePlayer::getWaveFormat(const WaveFormatEx*& format, bool& freeIt) {
    freeIt = false;
    format = wave_.waveFormat();
    readPosition_ = wave_.dataOffset();
    // A data chunk that claims more than the wave holds plays to the end of
    // the stored bytes.
    endPosition_ = static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{wave_.dataOffset()} + wave_.dataSize(), wave_.size()));
}

uint32_t SamplePlayer::getBufferData(uint8_t*& data, uint32_t& loops, bool& takeOwnership) {
    takeOwnership = false;
    loops = 0;
    if (readPosition_ >= endPosition_)
        return 0;
    data = reinterpret_cast<uint8_t*>(wave_.memory()) + readPosition_;
    const uint32_t n = std::min(bufferBytes(), endPosition_ - readPosition_);
    readPosition_ += n;
    return n;
}

void SamplePlayer::setPosition(uint32_t milliseconds) {
    {
        std::lock_guard lock(engineLock());
        const uint64_t target = uint64_t{wave_.dataOffset()} + timeToDataOffset(deviceFormat_, milliseconds);
        readPosition_ = static_cast<uint32_t>(std::min<uint64_t>(target, endPosition_));
    }
    WaveOutEngine::setPosition(milliseconds);
}

} // namespace tavora::audio
