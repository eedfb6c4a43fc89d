#pragma once

// The output side of the wave engine: it opens one wave output device, keeps
// BufferCount buffers of BufferLength milliseconds queued on it and refills
// each as the device hands it back, asking the subclass for the contents:
// FillBuffer in copy mode (the engine owns the buffers), GetBufferData in
// direct mode (the subclass hands out addresses that stay readable until the
// buffer is back). The end of the data closes the device; the close
// notification fires OnDeactivate.

#include "audio/player/WaveEngine.h"

namespace tavora::audio {

class TWaveOutEngine : public TWaveEngine {
public:
    explicit TWaveOutEngine(platform::audio::AudioPlatform& platform);
    ~TWaveOutEngine() override;

    // Percent; not limited to 100.
    uint16_t Volume();
    void SetVolume(uint16_t value);
    // Multipliers, passed to the device in 16.16 fixed point.
    double Pitch();
    void SetPitch(double value);
    double PlaybackRate();
    void SetPlaybackRate(double value);
    // Which of volume, pitch and rate the engine applies to the device.
    TWaveOutOptions Options() const { return options_; }
    void SetOptions(TWaveOutOptions value);

    TWaveDeviceSupports DeviceSupport();

    uint32_t GetNumDevs() override;
    std::string GetDeviceName() override;
    TPCMFormatSet GetDeviceFormats() override;
    uint32_t GetPosition() override;
    std::string GetErrorText(MmResult code) override;
    bool IsFormatSupported(const TWaveFormatEx& format) override;
    // Moves playback to `milliseconds`: the queued buffers come back and are
    // refilled. A subclass moves its own read position first.
    virtual void SetPosition(uint32_t milliseconds);

    // Queues one block supplied by the caller (with `takeOwnership` the
    // engine frees it with std::free once it is back).
    bool WriteBlock(uint8_t* data, uint32_t size, bool takeOwnership, uint32_t loops);

    // 16.16 fixed point as the device takes multipliers, and back.
    static uint32_t MultiplierToFixed(double value);
    static double FixedToMultiplier(uint32_t value);

protected:
    void WaveOutOpened() override;
    void WaveOutClosed() override;
    void WaveOutDone(WaveHeader* header) override;
    bool GetPaused() override { return paused_; }
    MmResult ValidateDeviceID(int32_t deviceId) override;
    bool InternalOpen() override;
    bool InternalClose() override;
    bool InternalPause() override;
    bool InternalResume() override;
    bool HandleAllocated() override { return device_ != nullptr; }
    void StartFeeding() override;
    void AbandonDevice() override;
    void FlushClosingDevice() override;

    bool WriteBuffer(WaveHeader* header);
    // Copy mode: fill up to `size` bytes and answer the count; 0 ends the data.
    virtual uint32_t FillBuffer(uint8_t* data, uint32_t size, uint32_t& loops);
    // Direct mode: answer the next bytes to play (n > 0 with `data`), a time
    // of silence in milliseconds (n > 0 without `data`) or the end (0).
    // `takeOwnership` comes in true: the engine then frees `data`.
    virtual uint32_t GetBufferData(uint8_t*& data, uint32_t& loops, bool& takeOwnership);

    bool CopyMode() const { return copyMode_; }
    void SetCopyMode(bool value) { copyMode_ = value; }

private:
    void ApplyOptions();
    void ApplyVolume();
    struct TMultiplier;
    static const TMultiplier PitchControl;
    static const TMultiplier RateControl;
    double ReadMultiplier(const TMultiplier& m, double stored);
    void WriteMultiplier(const TMultiplier& m, double& stored, double value);
    void ApplyMultiplier(const TMultiplier& m, double value);
    // One turn of the buffer cycle up to the write; answers the header that
    // is left to the final steps.
    void RefillAndWrite(WaveHeader*& header);
    void FinishCycle(WaveHeader*& header);
    // A buffer that could not be queued ends playback: the queued buffers are
    // returned, and the last one back closes the device.
    void EndAfterFailure(WaveHeader*& header);
    MmResult CloseDevice();

    std::unique_ptr<platform::audio::WaveOutDevice> device_;
    bool paused_ = false;
    uint16_t volume_ = 75;
    double pitch_ = 1.0;
    double playbackRate_ = 1.0;
    TWaveOutOptions options_;
    bool copyMode_ = true;
    int32_t positionOffset_ = 0;
    // close() was accepted; the close notification is on its way.
    bool closeIssued_ = false;
    // This run already ended on a failure that was reported.
    bool failed_ = false;
};

} // namespace tavora::audio
