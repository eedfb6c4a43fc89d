#pragma once

// The in-memory audio platform: devices, mixers and codecs are described by
// the test, and the wave devices it opens are driven by the test too. Their
// buffers complete on command (completeNext, deliver) or by a clock:
// advance() plays or records a stretch of virtual time at once, and with the
// real-time clock switched on a thread of the device advances it as time
// passes, posting notifications from that thread like a real device.

#include "platform/audio/AudioPlatform.h"
#include "platform/audio/MixerTopology.h"
#include "platform/audio/TableCodecManager.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavora::platform::audio {

// Operations of an open device whose answer a test can force.
enum class WaveOp {
    Prepare,
    Unprepare,
    Write, // write() on output, addBuffer() on input
    Start,
    Stop,
    Pause,
    Restart,
    Reset,
    Close,
    Position,
    Volume,
    SetVolume,
};

struct MemoryWaveDeviceSetup {
    std::array<char, 32> productName{}; // raw bytes: a name of 32 bytes needs no zero
    std::string description;            // the whole product name; empty: productName's
    std::string serverName;             // the sound server's name; empty: none
    MmResult capsResult = MMSYSERR_NOERROR;
    MmResult openResult = MMSYSERR_NOERROR; // answer of a real (not query) open
    std::uint32_t formats = WAVE_FORMATS_ALL_STANDARD;
    std::uint16_t channels = 2;
    std::uint32_t support = WAVECAPS_VOLUME | WAVECAPS_LRVOLUME | WAVECAPS_SAMPLEACCURATE;
    // Forced answers of the device once opened (copied at each open).
    std::map<WaveOp, MmResult> results;

    static MemoryWaveDeviceSetup named(std::string_view name, std::string_view serverName = {});
};

class MemoryAudioPlatform;

class MemoryWaveOut final : public WaveOutDevice {
public:
    ~MemoryWaveOut() override;

    std::uint32_t deviceId() const { return deviceId_; }
    std::uint32_t openFlags() const { return flags_; }
    const std::vector<std::uint8_t>& formatRecord() const { return format_; }
    const WaveFormatEx& format() const;

    std::size_t queued() const;
    bool paused() const;
    bool closed() const;
    // Plays the oldest queued buffer (all its loops) and returns it.
    // False when nothing is queued.
    bool completeNext();
    // Plays `span` of audio (nAvgBytesPerSec of the format), returning each
    // buffer that ends within it. Nothing moves while paused.
    void advance(std::chrono::microseconds span);
    // Every byte played since the open, in the format opened.
    std::vector<std::uint8_t> played() const;
    void setResult(WaveOp op, MmResult result);

    MmResult prepareHeader(WaveHeader& header) override;
    MmResult unprepareHeader(WaveHeader& header) override;
    MmResult write(WaveHeader& header) override;
    MmResult pause() override;
    MmResult restart() override;
    MmResult reset() override;
    MmResult close() override;
    MmResult position(MmTime& time) override;
    MmResult volume(std::uint32_t& value) override;
    MmResult setVolume(std::uint32_t value) override;
    MmResult pitch(std::uint32_t& value) override;
    MmResult setPitch(std::uint32_t value) override;
    MmResult playbackRate(std::uint32_t& value) override;
    MmResult setPlaybackRate(std::uint32_t value) override;

private:
    friend class MemoryAudioPlatform;
    struct State;
    MemoryWaveOut(std::uint32_t deviceId, std::vector<std::uint8_t> format, QObject* callback,
                  std::uint32_t flags, std::map<WaveOp, MmResult> results, bool realTime);

    std::uint32_t deviceId_;
    std::uint32_t flags_;
    std::vector<std::uint8_t> format_;
    std::unique_ptr<State> s_;
};

class MemoryWaveIn final : public WaveInDevice {
public:
    ~MemoryWaveIn() override;

    std::uint32_t deviceId() const { return deviceId_; }
    std::uint32_t openFlags() const { return flags_; }
    const std::vector<std::uint8_t>& formatRecord() const { return format_; }
    const WaveFormatEx& format() const;

    std::size_t queued() const;
    bool started() const;
    bool closed() const;
    // Fills the oldest queued buffer with `bytes` (cut to its length) and
    // returns it, also when recording is not started. False when nothing is
    // queued.
    bool deliver(std::span<const std::uint8_t> bytes);
    // Records `span` of audio while started: bytes come from the source
    // (zeros when it runs dry); each buffer that fills up is returned.
    void advance(std::chrono::microseconds span);
    void appendSource(std::span<const std::uint8_t> bytes);
    void setResult(WaveOp op, MmResult result);

    MmResult prepareHeader(WaveHeader& header) override;
    MmResult unprepareHeader(WaveHeader& header) override;
    MmResult addBuffer(WaveHeader& header) override;
    MmResult start() override;
    MmResult stop() override;
    MmResult reset() override;
    MmResult close() override;
    MmResult position(MmTime& time) override;

private:
    friend class MemoryAudioPlatform;
    struct State;
    MemoryWaveIn(std::uint32_t deviceId, std::vector<std::uint8_t> format, QObject* callback,
                 std::uint32_t flags, std::map<WaveOp, MmResult> results, bool realTime);

    std::uint32_t deviceId_;
    std::uint32_t flags_;
    std::vector<std::uint8_t> format_;
    std::unique_ptr<State> s_;
};

struct MemoryMixerSetup {
    std::string name = "Memory Mixer";
    MmResult capsResult = MMSYSERR_NOERROR;
    MmResult openResult = MMSYSERR_NOERROR;
    std::vector<TopologyLine> destinations;

    // Speakers with a volume, and a recording destination with a microphone
    // source carrying a volume and, if asked, a "Mic Boost" on/off control.
    static MemoryMixerSetup standard(std::string name, std::uint32_t speakerLevel = 0,
                                     std::uint32_t micLevel = 0, bool withBoost = false);
};

struct MemoryMixerCounters {
    int opens = 0;
    int closes = 0;
    int lineControlsQueries = 0;
    int detailReads = 0;
    int detailWrites = 0;
};

class MemoryAudioPlatform : public AudioPlatform {
public:
    MemoryAudioPlatform();
    ~MemoryAudioPlatform() override;

    void addWaveOut(MemoryWaveDeviceSetup setup);
    void addWaveIn(MemoryWaveDeviceSetup setup);
    MemoryWaveDeviceSetup& waveOutSetup(std::uint32_t deviceId);
    MemoryWaveDeviceSetup& waveInSetup(std::uint32_t deviceId);
    void clearWaveDevices();

    // Devices opened later advance by themselves in real time.
    void setRealTimeClock(bool on) { realTime_ = on; }

    // The devices opened so far (still alive), oldest first.
    std::vector<MemoryWaveOut*> openedWaveOuts() const;
    std::vector<MemoryWaveIn*> openedWaveIns() const;
    MemoryWaveOut* lastWaveOut() const;
    MemoryWaveIn* lastWaveIn() const;

    // Mixer k; line and control identifiers are assigned here.
    void addMixer(MemoryMixerSetup setup);
    // The control with this name on the line with this name, to check what
    // was written; null when there is none.
    TopologyControl* findControl(std::uint32_t mixerId, std::string_view lineName,
                                 std::string_view controlName);
    MemoryMixerCounters mixerCounters() const;
    // Mixers open right now (every open must be matched by a close).
    int openMixers() const;

    // Starts with the standard table; tests edit it.
    TableCodecManager& codecs() { return codecs_; }

    std::uint32_t waveOutCount() override;
    MmResult waveOutCaps(std::uint32_t deviceId, WaveOutCaps& caps) override;
    std::uint32_t waveInCount() override;
    MmResult waveInCaps(std::uint32_t deviceId, WaveInCaps& caps) override;
    MmResult waveOutNames(std::uint32_t deviceId, WaveDeviceNames& names) override;
    MmResult waveInNames(std::uint32_t deviceId, WaveDeviceNames& names) override;
    MmResult openWaveOut(std::unique_ptr<WaveOutDevice>* device, std::uint32_t deviceId,
                         const WaveFormatEx* format, QObject* callback, std::uint32_t flags) override;
    MmResult openWaveIn(std::unique_ptr<WaveInDevice>* device, std::uint32_t deviceId,
                        const WaveFormatEx* format, QObject* callback, std::uint32_t flags) override;
    std::uint32_t mixerCount() override;
    MmResult mixerCaps(std::uint32_t mixerId, MixerCaps& caps) override;
    MmResult openMixer(std::unique_ptr<Mixer>& mixer, std::uint32_t mixerId) override;
    CodecManager& codecManager() override { return codecs_; }

private:
    class MemoryMixer;
    friend class MemoryMixer;
    friend class MemoryWaveOut;
    friend class MemoryWaveIn;
    void forget(const void* device);
    template <typename Device, typename Interface>
    MmResult openDevice(const std::vector<MemoryWaveDeviceSetup>& setups, std::vector<Device*>& opened,
                        std::unique_ptr<Interface>* device, std::uint32_t deviceId,
                        const WaveFormatEx* format, QObject* callback, std::uint32_t flags,
                        WaveMessage openMessage);

    mutable std::mutex mutex_;
    std::vector<MemoryWaveDeviceSetup> outs_;
    std::vector<MemoryWaveDeviceSetup> ins_;
    std::vector<MemoryWaveOut*> openOuts_;
    std::vector<MemoryWaveIn*> openIns_;
    std::vector<MemoryMixerSetup> mixers_;
    MemoryMixerCounters mixerCounters_;
    int openMixers_ = 0;
    std::uint32_t nextControlId_ = 1;
    bool realTime_ = false;
    TableCodecManager codecs_;
};

} // namespace tavora::platform::audio
