#pragma once

// The output side of the wave engine: it opens one wave output device, keeps
// bufferCount buffers of bufferLength milliseconds queued on it and refills
// each as the device hands it back, asking the subclass for the contents:
// fillBuffer in copy mode (the engine owns the buffers), getBufferData in
// direct mode (the subclass hands out addresses that stay readable until the
// buffer is back). The end of the data closes the device; the close
// notification fires onDeactivate.

#include "audio/player/WaveEngine.h"

namespace tavora::audio {

class WaveOutEngine : public WaveEngine {
public:
    explicit WaveOutEngine(platform::audio::AudioPlatform& platform);
    ~WaveOutEngine() override;

    // Percent; not limited to 100.
    uint16_t volume();
    void setVolume(uint16_t value);
    // Multipliers, passed to the device in 16.16 fixed point.
    double pitch();
    void setPitch(double value);
    double playbackRate();
    void setPlaybackRate(double value);
    // Which of volume, pitch and rate the engine applies to the device.
    WaveOutOptions options() const { return options_; }
    void setOptions(WaveOutOptions value);

    WaveDeviceSupports deviceSupport();

    uint32_t getNumDevs() override;
    std::string getDeviceName() override;
    PCMFormatSet getDeviceFormats() override;
    uint32_t getPosition() override;
    std::string getErrorText(MmResult code) override;
    bool isFormatSupported(const WaveFormatEx& format) override;
    // Moves playback to `milliseconds`: the queued buffers come back and are
    // refilled. A subclass moves its own read position first.
    virtual void setPosition(uint32_t milliseconds);

    // Queues one block supplied by the caller (with `takeOwnership` the
    // engine frees it with std::free once it is back).
    bool writeBlock(uint8_t* data, uint32_t size, bool takeOwnership, uint32_t loops);

    // 16.16 fixed point as the device takes multipliers, and back.
    static uint32_t multiplierToFixed(double value);
    static double fixedToMultiplier(uint32_t value);

protected:
    void waveOutOpened() override;
    void waveOutClosed() override;
    void waveOutDone(WaveHeader* header) override;
    bool getPaused() override { return paused_; }
    MmResult validateDeviceID(int32_t deviceId) override;
    bool internalOpen() override;
    bool internalClose() override;
    bool internalPause() override;
    bool internalResume() override;
    bool handleAllocated() override { return device_ != nullptr; }
    void startFeeding() override;
    void abandonDevice() override;
    void flushClosingDevice() override;

    bool writeBuffer(WaveHeader* header);
    // Copy mode: fill up to `size` bytes and answer the count; 0 ends the data.
    virtual uint32_t fillBuffer(uint8_t* data, uint32_t size, uint32_t& loops);
    // Direct mode: answer the next bytes to play (n > 0 with `data`), a time
    // of silence in milliseconds (n > 0 without `data`) or the end (0).
    // `takeOwnership` comes in true: the engine then frees `data`.
    virtual uint32_t getBufferData(uint8_t*& data, uint32_t& loops, bool& takeOwnership);

    bool copyMode() const { return copyMode_; }
    void setCopyMode(bool value) { copyMode_ = value; }

private:
    void applyOptions();
    void applyVolume();
    struct Multiplier;
    static const Multiplier PitchControl;
    static const Multiplier RateControl;
    double readMultiplier(const Multiplier& m, double stored);
    void writeMultiplier(const Multiplier& m, double& stored, double value);
    void applyMultiplier(const Multiplier& m, double value);
    // One turn of the buffer cycle up to the write; answers the header that
    // is left to the final steps.
    void refillAndWrite(WaveHeader*& header);
    void finishCycle(WaveHeader*& header);
    // A buffer that could not be queued ends playback: the queued buffers are
    // returned, and the last one back closes the device.
    void endAfterFailure(WaveHeader*& header);
    MmResult closeDevice();

    std::unique_ptr<platform::audio::WaveOutDevice> device_;
    bool paused_ = false;
    uint16_t volume_ = 75;
    double pitch_ = 1.0;
    double playbackRate_ = 1.0;
    WaveOutOptions options_;
    bool copyMode_ = true;
    int32_t positionOffset_ = 0;
    // close() was accepted; the close notification is on its way.
    bool closeIssued_ = false;
    // This run already ended on a failure that was reported.
    bool failed_ = false;
};

} // namespace tavora::audio
