#include "audio/player/SamplePlayer.h"
#include "audio/player/PlayerTestSupport.h"
#include "audio/player/RiffBuilder.h"
#include "audio/player/WaveResource.h"

#include "support/audio/MemoryAudioPlatform.h"

#include <QIODevice>

#include <gtest/gtest.h>

#include <cstring>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::test;
namespace mm = tavora::platform::audio;

namespace {

// A player whose provider requests are counted and whose inner open and
// close can be called directly.
class ProbePlayer : public SamplePlayer {
public:
    using SamplePlayer::internalClose;
    using SamplePlayer::internalOpen;
    using SamplePlayer::SamplePlayer;
    std::vector<uint32_t> answers;

protected:
    uint32_t getBufferData(uint8_t*& data, uint32_t& loops, bool& takeOwnership) override {
        const uint32_t n = SamplePlayer::getBufferData(data, loops, takeOwnership);
        answers.push_back(n);
        return n;
    }
};

struct Events {
    int activate = 0, deactivate = 0, pause = 0, resume = 0, error = 0;
    std::vector<std::pair<const uint8_t*, uint32_t>> buffers;
    std::vector<int> levels;

    void attach(WaveEngine& e, bool withError = false) {
        e.onActivate = [this](WaveEngine*) { ++activate; };
        e.onDeactivate = [this](WaveEngine*) { ++deactivate; };
        e.onPause = [this](WaveEngine*) { ++pause; };
        e.onResume = [this](WaveEngine*) { ++resume; };
        e.onBufferData = [this](WaveEngine*, const void* d, uint32_t n) {
            buffers.emplace_back(static_cast<const uint8_t*>(d), n);
        };
        e.onLevel = [this](WaveEngine*, int32_t level) { levels.push_back(level); };
        if (withError)
            e.onError = [this](WaveEngine*) { ++error; };
    }
};

const uint8_t* bytes(WaveImage& wave) {
    return reinterpret_cast<const uint8_t*>(wave.memory());
}

class PlayerTest : public testing::Test {
protected:
    void SetUp() override {
        app()->errors.clear();
        platform.addWaveOut(mm::MemoryWaveDeviceSetup::named("Speakers One"));
        platform.addWaveOut(mm::MemoryWaveDeviceSetup::named("Headphones Two"));
    }

    static void loadSample(SamplePlayer& player) {
        auto stream = openResourceStream("sample", "WAVE");
        player.wave().loadFromStream(*stream);
    }

    static void load(SamplePlayer& player, const std::vector<uint8_t>& bytes) {
        player.wave().loadFromBuffer(bytes.data(), bytes.size());
    }

    // Lets the device finish one buffer at a time until the player is done;
    // answers every byte the device played.
    std::vector<uint8_t> playToEnd(WaveEngine& engine, size_t* maxQueued = nullptr) {
        std::vector<uint8_t> played;
        for (int turn = 0; turn < 1000 && engine.active(); ++turn) {
            pump();
            if (auto* device = platform.lastWaveOut()) {
                if (maxQueued)
                    *maxQueued = std::max(*maxQueued, device->queued());
                device->completeNext();
                played = device->played();
            }
        }
        pump();
        return played;
    }

    // Plays `buffers` buffers of the open device.
    void playBuffers(int buffers) {
        for (int i = 0; i < buffers; ++i) {
            pump();
            platform.lastWaveOut()->completeNext();
        }
        pump();
    }

    mm::MemoryAudioPlatform platform;
};

} // namespace

TEST_F(PlayerTest, SamplePlaysStraightFromTheWaveIn19BuffersAndDeactivatesOnce) {
    ProbePlayer player(platform);
    Events ev;
    ev.attach(player);
    loadSample(player);
    player.setActive(true);
    EXPECT_TRUE(player.active());
    EXPECT_EQ(ev.activate, 0); // notifications come after the call, from the event loop

    auto* device = platform.lastWaveOut();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->deviceId(), mm::WAVE_MAPPER);
    EXPECT_EQ(device->openFlags(), mm::CALLBACK_WINDOW | mm::WAVE_MAPPED);
    ASSERT_EQ(device->formatRecord().size(), 20u);
    EXPECT_EQ(std::memcmp(device->formatRecord().data(), bytes(player.wave()) + 20, 20), 0);

    size_t maxQueued = 0;
    const auto played = playToEnd(player, &maxQueued);
    EXPECT_FALSE(player.active());
    EXPECT_EQ(ev.activate, 1);
    EXPECT_EQ(ev.deactivate, 1);
    EXPECT_LE(maxQueued, 2u);

    ASSERT_EQ(ev.buffers.size(), 19u);
    for (size_t k = 0; k < ev.buffers.size(); ++k) {
        // Each buffer points into the wave's own memory: nothing was copied.
        EXPECT_EQ(ev.buffers[k].first, bytes(player.wave()) + 60 + k * 1625) << k;
        EXPECT_EQ(ev.buffers[k].second, k < 18 ? 1625u : 1170u) << k;
    }
    ASSERT_EQ(player.answers.size(), 20u);
    EXPECT_EQ(player.answers.back(), 0u);
    ASSERT_EQ(played.size(), 30420u);
    EXPECT_EQ(std::memcmp(played.data(), bytes(player.wave()) + 60, played.size()), 0);
    EXPECT_TRUE(ev.levels.empty()); // no levels for a GSM device format
    EXPECT_TRUE(app()->errors.empty());
}

// A chunk after the data (the LIST of tags many editors append) is no
// audio: the data chunk plays, to its last byte and no further.
TEST_F(PlayerTest, OnlyTheDataChunkPlaysNotAChunkAfterIt) {
    std::vector<uint8_t> data(65 * 30);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 5 + 3);
    std::vector<uint8_t> fact;
    putLe(fact, 30 * 320, 4);
    const std::vector<uint8_t> tags{'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 6,
                                    0,   0,   0,   'E', 'd', 'i', 't', 'o', 'r'};
    const auto bytes = riff("WAVE", {chunk("fmt ", fmtBody(0x31, 1, 8000, 1625, 65, 0, {0x40, 0x01})),
                                     chunk("fact", fact), chunk("data", data), chunk("LIST", tags)});
    SamplePlayer player(platform);
    load(player, bytes);
    player.setActive(true);
    EXPECT_EQ(playToEnd(player), data);
    EXPECT_FALSE(player.active());
}

TEST_F(PlayerTest, PlayingAgainAfterDeactivateStartsFromTheBeginning) {
    Events ev;
    SamplePlayer player(platform);
    ev.attach(player);
    loadSample(player);
    player.setActive(true);
    playToEnd(player);
    ASSERT_EQ(ev.deactivate, 1);
    ev.buffers.clear();
    player.setActive(true);
    playBuffers(1);
    ASSERT_FALSE(ev.buffers.empty());
    EXPECT_EQ(ev.buffers.front().first, bytes(player.wave()) + 60);
    playToEnd(player);
    EXPECT_EQ(ev.deactivate, 2);
}

TEST_F(PlayerTest, StoppingResetsTheDeviceAndDeactivatesAfterTheCloseNotification) {
    Events ev;
    ProbePlayer player(platform);
    ev.attach(player);
    loadSample(player);
    player.setActive(true);
    player.setActive(true); // no change: one open
    EXPECT_EQ(platform.openedWaveOuts().size(), 1u);
    EXPECT_THROW(player.internalOpen(), WaveInvalidOperationError);
    try {
        player.internalOpen();
    } catch (const WaveInvalidOperationError& e) {
        EXPECT_STREQ(e.what(), "Device is aleardy open");
    }
    playBuffers(3);
    auto* device = platform.lastWaveOut();
    player.setActive(false);
    EXPECT_EQ(device->queued(), 0u); // every buffer is back at once
    EXPECT_TRUE(player.active());    // until the close notification
    EXPECT_EQ(ev.deactivate, 0);
    pump();
    EXPECT_FALSE(player.active());
    EXPECT_EQ(ev.deactivate, 1);
    EXPECT_TRUE(platform.openedWaveOuts().empty());
    player.setActive(false); // inactive: nothing happens
    try {
        player.internalClose();
        ADD_FAILURE() << "closing an inactive engine must raise";
    } catch (const WaveInvalidOperationError& e) {
        EXPECT_STREQ(e.what(), "Device is aleardy close");
    }
    EXPECT_EQ(ev.deactivate, 1);
}

TEST_F(PlayerTest, StopRightAtActivationClosesOnce) {
    // Stopping from onActivate leaves the first feeding notification behind
    // the close; it must not close the device a second time.
    SamplePlayer player(platform);
    Events ev;
    ev.attach(player);
    player.onActivate = [&](WaveEngine*) {
        ++ev.activate;
        player.setActive(false);
    };
    loadSample(player);
    player.setActive(true);
    pump();
    EXPECT_EQ(ev.activate, 1);
    EXPECT_EQ(ev.deactivate, 1);
    EXPECT_FALSE(player.active());
    EXPECT_TRUE(app()->errors.empty()) << app()->errors.front();
}

TEST_F(PlayerTest, PausedBeforeOpeningPausesTheDeviceUntilResumed) {
    SamplePlayer player(platform);
    Events ev;
    ev.attach(player);
    loadSample(player);
    player.setPaused(true);
    EXPECT_TRUE(player.paused());
    EXPECT_EQ(ev.pause, 1);
    player.setActive(true);
    pump();
    auto* device = platform.lastWaveOut();
    EXPECT_TRUE(device->paused());
    device->advance(std::chrono::seconds(1));
    EXPECT_TRUE(device->played().empty());
    player.setPaused(false);
    EXPECT_EQ(ev.resume, 1);
    EXPECT_FALSE(device->paused());
    device->advance(std::chrono::milliseconds(500));
    EXPECT_EQ(device->played().size(), 812u); // 500 ms of 1625 bytes per second
    player.setPaused(true);
    EXPECT_TRUE(device->paused());
    EXPECT_EQ(ev.pause, 2);
}

TEST_F(PlayerTest, ChangingTheWaveStopsPlaybackBeforeItsMemoryChanges) {
    SamplePlayer player(platform);
    Events ev;
    ev.attach(player);
    loadSample(player);
    player.setActive(true);
    playBuffers(2);
    auto* device = platform.lastWaveOut();
    ASSERT_GT(device->queued(), 0u);
    const uint8_t byte = 0;
    player.wave().seek(0, SeekOrigin::End);
    player.wave().write(&byte, 1); // grows the block: the old memory is released
    EXPECT_EQ(device->queued(), 0u);
    pump();
    EXPECT_EQ(ev.deactivate, 1);
    EXPECT_FALSE(player.active());

    // The same while the end of the data closes the device: the last buffers
    // are still queued and must come back before the memory goes.
    loadSample(player);
    ProbePlayer probe(platform);
    loadSample(probe);
    probe.setActive(true);
    for (int i = 0; i < 100 && !(probe.answers.size() == 20 && platform.lastWaveOut()->queued() > 0); ++i)
        playBuffers(1);
    device = platform.lastWaveOut();
    ASSERT_GT(device->queued(), 0u);
    probe.wave().clear();
    EXPECT_EQ(device->queued(), 0u);
    EXPECT_FALSE(device->completeNext());
    pump();
    EXPECT_FALSE(probe.active());
}

TEST_F(PlayerTest, SettingTheWaveCopiesIgnoresItselfAndClearsOnNone) {
    SamplePlayer player(platform);
    Events ev;
    ev.attach(player);
    loadSample(player);
    player.setActive(true);
    playBuffers(1);
    player.setWave(&player.wave());
    EXPECT_TRUE(player.active());
    EXPECT_EQ(player.wave().size(), 30480u);

    WaveImage other;
    const auto pcm = pcmWave(std::vector<uint8_t>(320, 0x10));
    other.loadFromBuffer(pcm.data(), pcm.size());
    player.setWave(&other);
    pump();
    EXPECT_FALSE(player.active());
    EXPECT_EQ(ev.deactivate, 1);
    EXPECT_EQ(player.wave().size(), pcm.size());
    EXPECT_EQ(player.wave().dataSize(), 320u);

    player.setActive(true);
    playBuffers(1);
    player.setWave(nullptr);
    pump();
    EXPECT_FALSE(player.active());
    EXPECT_EQ(player.wave().size(), 0u);
}

TEST_F(PlayerTest, DestroyingAnActivePlayerClosesTheDeviceWithoutDeactivate) {
    Events ev;
    {
        SamplePlayer player(platform);
        ev.attach(player);
        loadSample(player);
        player.setActive(true);
        playBuffers(2);
        ASSERT_EQ(platform.openedWaveOuts().size(), 1u);
    }
    EXPECT_TRUE(platform.openedWaveOuts().empty());
    EXPECT_EQ(ev.deactivate, 0);
    pump(); // nothing left that reaches the destroyed player

    // Destroyed while the end of the data is closing the device.
    {
        ProbePlayer player(platform);
        loadSample(player);
        player.setActive(true);
        for (int i = 0; i < 100 && player.answers.size() < 20; ++i)
            playBuffers(1);
        ASSERT_TRUE(player.active());
    }
    EXPECT_TRUE(platform.openedWaveOuts().empty());
    pump();
}

TEST_F(PlayerTest, OpenFailuresRaiseThePlatformTextOrGoToOnError) {
    SamplePlayer player(platform);
    Events ev;
    ev.attach(player);
    // No wave: the format query fails.
    try {
        player.setActive(true);
        ADD_FAILURE() << "an empty wave must not open";
    } catch (const WaveSysError& e) {
        EXPECT_STREQ(e.what(), "An invalid parameter was passed to an audio function.");
    }
    EXPECT_FALSE(player.active());
    EXPECT_EQ(player.lastError(), mm::MMSYSERR_INVALPARAM);
    EXPECT_TRUE(platform.openedWaveOuts().empty());

    // Bytes that are no wave, with onError set: no exception.
    player.onError = [&](WaveEngine*) { ++ev.error; };
    const char junk[] = "not a wave at all";
    player.wave().loadFromBuffer(junk, sizeof junk);
    player.setActive(true);
    EXPECT_EQ(ev.error, 1);
    EXPECT_FALSE(player.active());

    // The device refuses the real open.
    player.onError = nullptr;
    loadSample(player);
    platform.waveOutSetup(0).openResult = mm::MMSYSERR_ALLOCATED;
    player.setDeviceID(0);
    EXPECT_THROW(player.setActive(true), WaveSysError);
    EXPECT_FALSE(player.active());
    pump();
    EXPECT_EQ(ev.activate + ev.deactivate, 0);
}

TEST_F(PlayerTest, DeviceIdIsCheckedAndFixedWhileOpen) {
    SamplePlayer player(platform);
    EXPECT_EQ(player.deviceID(), -1);
    player.setDeviceID(1);
    EXPECT_EQ(player.deviceID(), 1);
    // The device was unplugged after the list was filled.
    platform.clearWaveDevices();
    platform.addWaveOut(mm::MemoryWaveDeviceSetup::named("Speakers One"));
    try {
        player.setDeviceID(0);
        player.setDeviceID(1);
        ADD_FAILURE() << "a missing device must be refused";
    } catch (const WaveSysError& e) {
        EXPECT_STREQ(e.what(), "The audio device number is out of range.");
    }
    EXPECT_EQ(player.deviceID(), 0);

    loadSample(player);
    player.setActive(true);
    EXPECT_NO_THROW(player.setDeviceID(0));
    try {
        player.setDeviceID(-1);
        ADD_FAILURE() << "the device cannot change while open";
    } catch (const WaveInvalidOperationError& e) {
        EXPECT_STREQ(e.what(), "DeviceID cannot be changed while device is open");
    }
    EXPECT_EQ(player.deviceID(), 0);
    EXPECT_EQ(platform.lastWaveOut()->deviceId(), 0u);
}

TEST_F(PlayerTest, AFailedBufferWriteEndsPlaybackInsteadOfHanging) {
    for (const bool withOnError : {true, false}) {
        SCOPED_TRACE(withOnError ? "OnError set" : "raised to the application");
        app()->errors.clear();
        SamplePlayer player(platform);
        Events ev;
        ev.attach(player, withOnError);
        uint32_t reported = 0;
        if (withOnError)
            player.onError = [&](WaveEngine* sender) {
                ++ev.error;
                reported = sender->lastError();
            };
        loadSample(player);
        player.setActive(true);
        playBuffers(2);
        platform.lastWaveOut()->setResult(mm::WaveOp::Write, mm::MMSYSERR_NODRIVER);
        playToEnd(player);
        EXPECT_FALSE(player.active());
        EXPECT_EQ(ev.deactivate, 1);
        if (withOnError) {
            EXPECT_EQ(ev.error, 1);
            EXPECT_EQ(reported, mm::MMSYSERR_NODRIVER);
            EXPECT_TRUE(app()->errors.empty());
        } else {
            ASSERT_EQ(app()->errors.size(), 1u);
            EXPECT_EQ(app()->errors[0], "No sound server or audio driver is available.");
        }
    }
}

TEST_F(PlayerTest, BufferSettings) {
    SamplePlayer player(platform);
    player.setBufferLength(5);
    EXPECT_EQ(player.bufferLength(), 10);
    player.setBufferLength(250);
    EXPECT_EQ(player.bufferLength(), 250);
    player.setBufferCount(0);
    EXPECT_EQ(player.bufferCount(), 0);
    player.setAsync(true);
    EXPECT_TRUE(player.async());
    player.setAsync(false);

    // 250 ms buffers of the sample are 407 bytes rounded up to 7 blocks; a
    // buffer count of 0 plays one buffer at a time.
    Events ev;
    ev.attach(player);
    loadSample(player);
    player.setActive(true);
    player.setAsync(true); // ignored while active
    EXPECT_FALSE(player.async());
    size_t maxQueued = 0;
    const auto played = playToEnd(player, &maxQueued);
    EXPECT_EQ(maxQueued, 1u);
    EXPECT_EQ(played.size(), 30420u);
    ASSERT_FALSE(ev.buffers.empty());
    EXPECT_EQ(ev.buffers.front().second, 455u);
}

TEST_F(PlayerTest, LevelsFollowPcmBuffersAndFallToZeroAtTheClose) {
    SamplePlayer player(platform);
    Events ev;
    ev.attach(player);
    std::vector<uint8_t> data;
    auto put = [&](int16_t v, int count) {
        for (int i = 0; i < count; ++i)
            putLe(data, static_cast<uint16_t>(v), 2);
    };
    put(16384, 80);  // first 10 ms buffer: half scale
    put(-20000, 80); // second: only negative
    put(32767, 40);  // last, half a buffer: full scale
    load(player, pcmWave(data));
    player.setBufferLength(10);
    player.setActive(true);
    playToEnd(player);
    EXPECT_EQ(ev.levels, (std::vector<int>{50, 0, 100, 0}));
}

TEST_F(PlayerTest, VolumeOptionsApplyAtOpenAndWhileOpen) {
    SamplePlayer player(platform);
    loadSample(player);
    player.setOptions({WaveOutOption::SetVolume}); // inactive: only stored
    EXPECT_EQ(player.volume(), 75);
    player.setActive(true);
    auto* device = platform.lastWaveOut();
    uint32_t value = 0;
    device->volume(value);
    EXPECT_EQ(value, 0xFFFFFFFFu); // not before the open notification
    pump();
    device->volume(value);
    EXPECT_EQ(value, 0xBFFFBFFFu); // 75 % = 49151
    player.setVolume(50);
    device->volume(value);
    EXPECT_EQ(value, 0x80008000u); // 32767.5 rounds away from zero
    EXPECT_EQ(player.volume(), 50);
    player.setVolume(150);
    device->volume(value);
    EXPECT_EQ(value, 0xFFFFFFFFu); // above 100 % the level stays at its top
    player.setOptions({});
    player.setVolume(20);
    device->volume(value);
    EXPECT_EQ(value, 0xFFFFFFFFu); // without the option the device is left alone
}

namespace {

// A device with pitch and playback-rate control around an in-memory one.
class RateDevice : public mm::WaveOutDevice {
public:
    explicit RateDevice(std::unique_ptr<mm::WaveOutDevice> inner) : inner_(std::move(inner)) {}
    mm::MmResult prepareHeader(mm::WaveHeader& h) override { return inner_->prepareHeader(h); }
    mm::MmResult unprepareHeader(mm::WaveHeader& h) override { return inner_->unprepareHeader(h); }
    mm::MmResult write(mm::WaveHeader& h) override { return inner_->write(h); }
    mm::MmResult pause() override { return inner_->pause(); }
    mm::MmResult restart() override { return inner_->restart(); }
    mm::MmResult reset() override { return inner_->reset(); }
    mm::MmResult close() override { return inner_->close(); }
    mm::MmResult position(mm::MmTime& t) override { return inner_->position(t); }
    mm::MmResult volume(uint32_t& v) override { return inner_->volume(v); }
    mm::MmResult setVolume(uint32_t v) override { return inner_->setVolume(v); }
    mm::MmResult pitch(uint32_t& v) override {
        v = pitch_;
        return 0;
    }
    mm::MmResult setPitch(uint32_t v) override {
        pitch_ = v;
        return 0;
    }
    mm::MmResult playbackRate(uint32_t& v) override {
        v = rate_;
        return 0;
    }
    mm::MmResult setPlaybackRate(uint32_t v) override {
        rate_ = v;
        return 0;
    }
    uint32_t pitch_ = 0x10000;
    uint32_t rate_ = 0x10000;

private:
    std::unique_ptr<mm::WaveOutDevice> inner_;
};

class RatePlatform : public mm::MemoryAudioPlatform {
public:
    mm::MmResult openWaveOut(std::unique_ptr<mm::WaveOutDevice>* device, uint32_t id,
                             const mm::WaveFormatEx* f, QObject* cb, uint32_t flags) override {
        const mm::MmResult r = MemoryAudioPlatform::openWaveOut(device, id, f, cb, flags);
        if (r == 0 && device && *device) {
            auto wrapped = std::make_unique<RateDevice>(std::move(*device));
            last = wrapped.get();
            *device = std::move(wrapped);
        }
        return r;
    }
    RateDevice* last = nullptr;
};

} // namespace

TEST(WaveOutEngine, PitchAndRateGoToTheDeviceIn16Dot16) {
    EXPECT_EQ(WaveOutEngine::multiplierToFixed(1.0), 0x10000u);
    EXPECT_EQ(WaveOutEngine::multiplierToFixed(1.5), 0x18000u);
    EXPECT_EQ(WaveOutEngine::multiplierToFixed(0.5), 0x8000u);
    EXPECT_EQ(WaveOutEngine::multiplierToFixed(2.0 + 1.0 / 3), 0x25555u); // fraction truncated
    EXPECT_DOUBLE_EQ(WaveOutEngine::fixedToMultiplier(0x18000), 1.5);
    EXPECT_DOUBLE_EQ(WaveOutEngine::fixedToMultiplier(0x4000), 0.25);

    RatePlatform platform;
    auto setup = mm::MemoryWaveDeviceSetup::named("Rate");
    setup.support |= mm::WAVECAPS_PITCH | mm::WAVECAPS_PLAYBACKRATE;
    platform.addWaveOut(setup);
    SamplePlayer player(platform);
    auto stream = openResourceStream("sample", "WAVE");
    player.wave().loadFromStream(*stream);
    player.setOptions({WaveOutOption::SetPitch, WaveOutOption::SetPlaybackRate});
    player.setPitch(1.5);
    EXPECT_DOUBLE_EQ(player.pitch(), 1.5); // stored while inactive
    player.setActive(true);
    pump();
    ASSERT_NE(platform.last, nullptr);
    EXPECT_EQ(platform.last->pitch_, 0x18000u);
    EXPECT_EQ(platform.last->rate_, 0x10000u);
    player.setPlaybackRate(0.5);
    EXPECT_EQ(platform.last->rate_, 0x8000u);
    EXPECT_DOUBLE_EQ(player.playbackRate(), 0.5);
    platform.last->pitch_ = 0x14000;
    EXPECT_DOUBLE_EQ(player.pitch(), 1.25); // read back from the device
    player.setActive(false);
    pump();
}

TEST_F(PlayerTest, DeviceCapabilitiesMapOntoSupportFormatsAndName) {
    SamplePlayer player(platform);
    auto& setup = platform.waveOutSetup(1);
    setup.support = mm::WAVECAPS_LRVOLUME | mm::WAVECAPS_SYNC | mm::WAVECAPS_PITCH;
    setup.formats = mm::WAVE_FORMAT_1M08 | mm::WAVE_FORMAT_4S16;
    player.setDeviceID(1);
    EXPECT_EQ(player.getDeviceName(), "Headphones Two");
    // Left/right volume only counts with volume; a synchronous device is not asynchronous.
    EXPECT_EQ(player.deviceSupport(), WaveDeviceSupports{WaveDeviceSupport::Pitch});
    EXPECT_EQ(player.getDeviceFormats(), (PCMFormatSet{1, 2, 3, 4, 5, 16}));
    setup.support =
        mm::WAVECAPS_VOLUME | mm::WAVECAPS_LRVOLUME | mm::WAVECAPS_PLAYBACKRATE | mm::WAVECAPS_SAMPLEACCURATE;
    EXPECT_EQ(player.deviceSupport(),
              (WaveDeviceSupports{WaveDeviceSupport::Volume, WaveDeviceSupport::LeftRightVolume,
                                   WaveDeviceSupport::PlaybackRate, WaveDeviceSupport::SampleAccurate,
                                   WaveDeviceSupport::Asynchronous}));
    EXPECT_TRUE(player.isPCMFormatSupported(3));
    EXPECT_TRUE(player.isPCMFormatSupported(128 + 20));
    EXPECT_FALSE(player.isPCMFormatSupported(0));
    EXPECT_EQ(player.getNumDevs(), 2u);
    setup.capsResult = mm::MMSYSERR_NODRIVER;
    EXPECT_EQ(player.getDeviceName(), "");
    EXPECT_TRUE(player.getDeviceFormats().empty());
    EXPECT_TRUE(player.deviceSupport().empty());
    EXPECT_EQ(player.getErrorText(mm::WAVERR_BADFORMAT), "The audio device cannot use this wave format.");
    EXPECT_EQ(player.getErrorText(4711), "");
}

TEST_F(PlayerTest, PositionAndSeekingMoveTheReadPositionOnBlocks) {
    SamplePlayer player(platform);
    Events ev;
    ev.attach(player);
    loadSample(player);
    EXPECT_EQ(player.getPosition(), 0u);
    player.setActive(true);
    playBuffers(2);
    EXPECT_EQ(player.getPosition(), 2000u);
    ev.buffers.clear();
    player.setPosition(10500); // 17062.5 bytes: on the block at 17030
    pump();
    ASSERT_FALSE(ev.buffers.empty());
    EXPECT_EQ(ev.buffers.front().first, bytes(player.wave()) + 60 + 17030);
    EXPECT_EQ(player.getPosition(), 10500u);
    const auto played = playToEnd(player);
    EXPECT_EQ(ev.deactivate, 1);
}

namespace {

// Copy mode: the engine owns the buffers and the provider fills them.
class CountingEngine : public WaveOutEngine {
public:
    CountingEngine(mm::AudioPlatform& p, uint32_t total) : WaveOutEngine(p), total_(total) {}
    ~CountingEngine() override { destroyEngine(); }

protected:
    void getWaveFormat(const WaveFormatEx*& format, bool& freeIt) override {
        // Left for the engine to free.
        EXPECT_TRUE(freeIt);
        auto* record = static_cast<WaveFormatEx*>(std::calloc(1, sizeof(WaveFormatEx)));
        *record = WaveFormatEx{mm::WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
        format = record;
        next_ = 0;
    }
    uint32_t fillBuffer(uint8_t* data, uint32_t size, uint32_t&) override {
        const uint32_t n = std::min(size, total_ - next_);
        for (uint32_t i = 0; i < n; ++i)
            data[i] = static_cast<uint8_t>(next_ + i);
        next_ += n;
        return n;
    }

private:
    uint32_t total_;
    uint32_t next_ = 0;
};

// Direct mode with a script of answers: data the engine takes over,
// silence, looped blocks.
class ScriptEngine : public WaveOutEngine {
public:
    struct Answer {
        std::vector<uint8_t> bytes; // empty: silence of `n` milliseconds
        uint32_t n = 0;
        uint32_t loops = 0;
    };
    ScriptEngine(mm::AudioPlatform& p, std::vector<Answer> script)
        : WaveOutEngine(p), script_(std::move(script)) {
        setCopyMode(false);
    }
    ~ScriptEngine() override { destroyEngine(); }

protected:
    void getWaveFormat(const WaveFormatEx*& format, bool& freeIt) override {
        freeIt = false;
        format = &format_;
    }
    uint32_t getBufferData(uint8_t*& data, uint32_t& loops, bool& takeOwnership) override {
        if (next_ >= script_.size())
            return 0;
        const Answer& a = script_[next_++];
        loops = a.loops;
        if (a.bytes.empty())
            return a.n;
        data = static_cast<uint8_t*>(std::malloc(a.bytes.size()));
        std::memcpy(data, a.bytes.data(), a.bytes.size());
        takeOwnership = true;
        return static_cast<uint32_t>(a.bytes.size());
    }

private:
    WaveFormatEx format_{mm::WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
    std::vector<Answer> script_;
    size_t next_ = 0;
};

} // namespace

TEST_F(PlayerTest, CopyModeFillsEngineBuffersAndShrinksTheLast) {
    CountingEngine engine(platform, 200);
    Events ev;
    ev.attach(engine);
    engine.setBufferLength(10); // 80 bytes
    engine.setActive(true);
    const auto played = playToEnd(engine);
    ASSERT_EQ(played.size(), 200u);
    for (uint32_t i = 0; i < 200; ++i)
        ASSERT_EQ(played[i], static_cast<uint8_t>(i));
    std::vector<uint32_t> sizes;
    for (const auto& b : ev.buffers)
        sizes.push_back(b.second);
    EXPECT_EQ(sizes, (std::vector<uint32_t>{80, 80, 40}));
    // Levels of the unsigned 8-bit samples 0..79, 80..159, 160..199, then the close.
    EXPECT_EQ(ev.levels, (std::vector<int>{0, 24, 55, 0}));
    EXPECT_EQ(ev.deactivate, 1);
}

TEST_F(PlayerTest, DirectModeInsertsSilencePlaysLoopsAndFreesTakenBlocks) {
    const std::vector<uint8_t> first(50, 0x11), looped(30, 0x22);
    ScriptEngine engine(platform, {{first}, {{}, 20}, {looped, 0, 3}});
    engine.setBufferCount(1); // one at a time, so that the silence is kept
    engine.setActive(true);
    const auto played = playToEnd(engine);
    std::vector<uint8_t> expected = first;
    expected.insert(expected.end(), 160, 128); // 20 ms of 8-bit silence
    for (int i = 0; i < 3; ++i)
        expected.insert(expected.end(), looped.begin(), looped.end());
    EXPECT_EQ(played, expected);

    // With more than one buffer queued, silence is not queued: the returned
    // header is dropped and playing goes on with the next data.
    ScriptEngine shrinking(platform, {{first}, {first}, {{}, 20}, {looped}});
    shrinking.setActive(true);
    const auto played2 = playToEnd(shrinking);
    std::vector<uint8_t> expected2 = first;
    expected2.insert(expected2.end(), first.begin(), first.end());
    expected2.insert(expected2.end(), looped.begin(), looped.end());
    EXPECT_EQ(played2, expected2);
}
