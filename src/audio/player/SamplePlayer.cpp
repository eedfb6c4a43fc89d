#include "audio/player/SamplePlayer.h"

#include <algorithm>

namespace tavora::audio {

TSamplePlayer::TSamplePlayer(platform::audio::AudioPlatform& platform) : TWaveOutEngine(platform) {
    wave_.OnChange = [this](TWaveImage* sender) { WaveChanged(sender); };
    SetCopyMode(false);
}

TSamplePlayer::~TSamplePlayer() {
    // The device must be closed while the wave's memory, which it reads, is
    // still there.
    DestroyEngine();
}

void TSamplePlayer::SetWave(const TWaveImage* value) {
    if (value == &wave_)
        return;
    SetActive(false);
    if (value)
        wave_.LoadFromStream(*value);
    else
        wave_.Clear();
}

void TSamplePlayer::WaveChanged(TWaveImage*) {
    // The wave tells before its memory changes. Stopping resets the device,
    // which then no longer reads the queued buffers; a close at the end of
    // the data is already under way and only needs its last buffers back.
    SetActive(false);
    if (Active() && Closing)
        FlushClosingDevice();
}

void TSamplePlayer::GetWaveFormat(const TWaveFormatEx*& format, bool& freeIt) {
    freeIt = false;
    format = wave_.WaveFormat();
    readPosition_ = wave_.DataOffset();
    // A data chunk that claims more than the wave holds plays to the end of
    // the stored bytes.
    endPosition_ = static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{wave_.DataOffset()} + wave_.DataSize(), wave_.Size()));
}

uint32_t TSamplePlayer::GetBufferData(uint8_t*& data, uint32_t& loops, bool& takeOwnership) {
    takeOwnership = false;
    loops = 0;
    if (readPosition_ >= endPosition_)
        return 0;
    data = reinterpret_cast<uint8_t*>(wave_.Memory()) + readPosition_;
    const uint32_t n = std::min(BufferBytes(), endPosition_ - readPosition_);
    readPosition_ += n;
    return n;
}

void TSamplePlayer::SetPosition(uint32_t milliseconds) {
    {
        std::lock_guard lock(EngineLock());
        const uint64_t target = uint64_t{wave_.DataOffset()} + TimeToDataOffset(deviceFormat_, milliseconds);
        readPosition_ = static_cast<uint32_t>(std::min<uint64_t>(target, endPosition_));
    }
    TWaveOutEngine::SetPosition(milliseconds);
}

} // namespace tavora::audio
