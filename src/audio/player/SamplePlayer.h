#pragma once

#include "audio/player/WaveImage.h"
#include "audio/player/WaveOutEngine.h"

namespace tavora::audio {

// Plays the sample data of its own wave image on a wave output device. The
// buffers handed to the device point straight into the wave's memory: no
// sample byte is copied, decoded or converted here.
class SamplePlayer : public WaveOutEngine {
public:
    explicit SamplePlayer(platform::audio::AudioPlatform& platform);
    // Closes an active device and waits for it before the wave goes.
    ~SamplePlayer() override;

    // The owned wave; load data into it directly. Any change of its bytes
    // stops playback before the change is made.
    WaveImage& wave() { return wave_; }
    // Replaces the owned wave's bytes with all of `value`'s (none clears it).
    void setWave(const WaveImage* value);

    void setPosition(uint32_t milliseconds) override;

protected:
    void getWaveFormat(const WaveFormatEx*& format, bool& freeIt) override;
    uint32_t getBufferData(uint8_t*& data, uint32_t& loops, bool& takeOwnership) override;
    void waveChanged(WaveImage* sender);

private:
    WaveImage wave_;
    uint32_t readPosition_ = 0;
    uint32_t endPosition_ = 0;
};

} // namespace tavora::audio
