#include "audio/player/SamplePlayer.h"
#include "audio/player/PlayerTestSupport.h"
#include "audio/player/RiffBuilder.h"
#include "audio/player/WaveResource.h"

#include "support/audio/MemoryAudioPlatform.h"

#include <QIODevice>

#include <gtest/gtest.h>

#include <cstring>

using namespace tavora::audio;
using namespace tavora::test;
namespace mm = tavora::platform::audio;

namespace {

// A player whose provider requests are counted and whose inner open and
// close can be called directly.
class TProbePlayer : public TSamplePlayer {
public:
    using TSamplePlayer::InternalClose;
    using TSamplePlayer::InternalOpen;
    using TSamplePlayer::TSamplePlayer;
    std::vector<uint32_t> answers;

protected:
    uint32_t GetBufferData(uint8_t*& data, uint32_t& loops, bool& takeOwnership) override {
        const uint32_t n = TSamplePlayer::GetBufferData(data, loops, takeOwnership);
        answers.push_back(n);
        return n;
    }
};

struct TEvents {
    int activate = 0, deactivate = 0, pause = 0, resume = 0, error = 0;
    std::vector<std::pair<const uint8_t*, uint32_t>> buffers;
    std::vector<int> levels;

    void Attach(TWaveEngine& e, bool withError = false) {
        e.OnActivate = [this](TWaveEngine*) { ++activate; };
        e.OnDeactivate = [this](TWaveEngine*) { ++deactivate; };
        e.OnPause = [this](TWaveEngine*) { ++pause; };
        e.OnResume = [this](TWaveEngine*) { ++resume; };
        e.OnBufferData = [this](TWaveEngine*, const void* d, uint32_t n) {
            buffers.emplace_back(static_cast<const uint8_t*>(d), n);
        };
        e.OnLevel = [this](TWaveEngine*, int32_t level) { levels.push_back(level); };
        if (withError)
            e.OnError = [this](TWaveEngine*) { ++error; };
    }
};

const uint8_t* Bytes(TWaveImage& wave) {
    return reinterpret_cast<const uint8_t*>(wave.Memory());
}

class PlayerTest : public testing::Test {
protected:
    void SetUp() override {
        App()->errors.clear();
        platform.addWaveOut(mm::MemoryWaveDeviceSetup::named("Speakers One"));
        platform.addWaveOut(mm::MemoryWaveDeviceSetup::named("Headphones Two"));
    }

    static void LoadSample(TSamplePlayer& player) {
        auto stream = OpenResourceStream("sample", "WAVE");
        player.Wave().LoadFromStream(*stream);
    }

    static void Load(TSamplePlayer& player, const std::vector<uint8_t>& bytes) {
        player.Wave().LoadFromBuffer(bytes.data(), bytes.size());
    }

    // Lets the device finish one buffer at a time until the player is done;
    // answers every byte the device played.
    std::vector<uint8_t> PlayToEnd(TWaveEngine& engine, size_t* maxQueued = nullptr) {
        std::vector<uint8_t> played;
        for (int turn = 0; turn < 1000 && engine.Active(); ++turn) {
            Pump();
            if (auto* device = platform.lastWaveOut()) {
                if (maxQueued)
                    *maxQueued = std::max(*maxQueued, device->queued());
                device->completeNext();
                played = device->played();
            }
        }
        Pump();
        return played;
    }

    // Plays `buffers` buffers of the open device.
    void PlayBuffers(int buffers) {
        for (int i = 0; i < buffers; ++i) {
            Pump();
            platform.lastWaveOut()->completeNext();
        }
        Pump();
    }

    mm::MemoryAudioPlatform platform;
};

} // namespace

TEST_F(PlayerTest, SamplePlaysStraightFromTheWaveIn19BuffersAndDeactivatesOnce) {
    TProbePlayer player(platform);
    TEvents ev;
    ev.Attach(player);
    LoadSample(player);
    player.SetActive(true);
    EXPECT_TRUE(player.Active());
    EXPECT_EQ(ev.activate, 0); // notifications come after the call, from the event loop

    auto* device = platform.lastWaveOut();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->deviceId(), mm::WAVE_MAPPER);
    EXPECT_EQ(device->openFlags(), mm::CALLBACK_WINDOW | mm::WAVE_MAPPED);
    ASSERT_EQ(device->formatRecord().size(), 20u);
    EXPECT_EQ(std::memcmp(device->formatRecord().data(), Bytes(player.Wave()) + 20, 20), 0);

    size_t maxQueued = 0;
    const auto played = PlayToEnd(player, &maxQueued);
    EXPECT_FALSE(player.Active());
    EXPECT_EQ(ev.activate, 1);
    EXPECT_EQ(ev.deactivate, 1);
    EXPECT_LE(maxQueued, 2u);

    ASSERT_EQ(ev.buffers.size(), 19u);
    for (size_t k = 0; k < ev.buffers.size(); ++k) {
        // Each buffer points into the wave's own memory: nothing was copied.
        EXPECT_EQ(ev.buffers[k].first, Bytes(player.Wave()) + 60 + k * 1625) << k;
        EXPECT_EQ(ev.buffers[k].second, k < 18 ? 1625u : 1170u) << k;
    }
    ASSERT_EQ(player.answers.size(), 20u);
    EXPECT_EQ(player.answers.back(), 0u);
    ASSERT_EQ(played.size(), 30420u);
    EXPECT_EQ(std::memcmp(played.data(), Bytes(player.Wave()) + 60, played.size()), 0);
    EXPECT_TRUE(ev.levels.empty()); // no levels for a GSM device format
    EXPECT_TRUE(App()->errors.empty());
}

// A chunk after the data (the LIST of tags many editors append) is no
// audio: the data chunk plays, to its last byte and no further.
TEST_F(PlayerTest, OnlyTheDataChunkPlaysNotAChunkAfterIt) {
    std::vector<uint8_t> data(65 * 30);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 5 + 3);
    std::vector<uint8_t> fact;
    PutLe(fact, 30 * 320, 4);
    const std::vector<uint8_t> tags{'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 6,
                                    0,   0,   0,   'E', 'd', 'i', 't', 'o', 'r'};
    const auto bytes = Riff("WAVE", {Chunk("fmt ", FmtBody(0x31, 1, 8000, 1625, 65, 0, {0x40, 0x01})),
                                     Chunk("fact", fact), Chunk("data", data), Chunk("LIST", tags)});
    TSamplePlayer player(platform);
    Load(player, bytes);
    player.SetActive(true);
    EXPECT_EQ(PlayToEnd(player), data);
    EXPECT_FALSE(player.Active());
}

TEST_F(PlayerTest, PlayingAgainAfterDeactivateStartsFromTheBeginning) {
    TEvents ev;
    TSamplePlayer player(platform);
    ev.Attach(player);
    LoadSample(player);
    player.SetActive(true);
    PlayToEnd(player);
    ASSERT_EQ(ev.deactivate, 1);
    ev.buffers.clear();
    player.SetActive(true);
    PlayBuffers(1);
    ASSERT_FALSE(ev.buffers.empty());
    EXPECT_EQ(ev.buffers.front().first, Bytes(player.Wave()) + 60);
    PlayToEnd(player);
    EXPECT_EQ(ev.deactivate, 2);
}

TEST_F(PlayerTest, StoppingResetsTheDeviceAndDeactivatesAfterTheCloseNotification) {
    TEvents ev;
    TProbePlayer player(platform);
    ev.Attach(player);
    LoadSample(player);
    player.SetActive(true);
    player.SetActive(true); // no change: one open
    EXPECT_EQ(platform.openedWaveOuts().size(), 1u);
    EXPECT_THROW(player.InternalOpen(), EWaveInvalidOperation);
    try {
        player.InternalOpen();
    } catch (const EWaveInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Device is aleardy open");
    }
    PlayBuffers(3);
    auto* device = platform.lastWaveOut();
    player.SetActive(false);
    EXPECT_EQ(device->queued(), 0u); // every buffer is back at once
    EXPECT_TRUE(player.Active());    // until the close notification
    EXPECT_EQ(ev.deactivate, 0);
    Pump();
    EXPECT_FALSE(player.Active());
    EXPECT_EQ(ev.deactivate, 1);
    EXPECT_TRUE(platform.openedWaveOuts().empty());
    player.SetActive(false); // inactive: nothing happens
    try {
        player.InternalClose();
        ADD_FAILURE() << "closing an inactive engine must raise";
    } catch (const EWaveInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Device is aleardy close");
    }
    EXPECT_EQ(ev.deactivate, 1);
}

TEST_F(PlayerTest, StopRightAtActivationClosesOnce) {
    // Stopping from OnActivate leaves the first feeding notification behind
    // the close; it must not close the device a second time.
    TSamplePlayer player(platform);
    TEvents ev;
    ev.Attach(player);
    player.OnActivate = [&](TWaveEngine*) {
        ++ev.activate;
        player.SetActive(false);
    };
    LoadSample(player);
    player.SetActive(true);
    Pump();
    EXPECT_EQ(ev.activate, 1);
    EXPECT_EQ(ev.deactivate, 1);
    EXPECT_FALSE(player.Active());
    EXPECT_TRUE(App()->errors.empty()) << App()->errors.front();
}

TEST_F(PlayerTest, PausedBeforeOpeningPausesTheDeviceUntilResumed) {
    TSamplePlayer player(platform);
    TEvents ev;
    ev.Attach(player);
    LoadSample(player);
    player.SetPaused(true);
    EXPECT_TRUE(player.Paused());
    EXPECT_EQ(ev.pause, 1);
    player.SetActive(true);
    Pump();
    auto* device = platform.lastWaveOut();
    EXPECT_TRUE(device->paused());
    device->advance(std::chrono::seconds(1));
    EXPECT_TRUE(device->played().empty());
    player.SetPaused(false);
    EXPECT_EQ(ev.resume, 1);
    EXPECT_FALSE(device->paused());
    device->advance(std::chrono::milliseconds(500));
    EXPECT_EQ(device->played().size(), 812u); // 500 ms of 1625 bytes per second
    player.SetPaused(true);
    EXPECT_TRUE(device->paused());
    EXPECT_EQ(ev.pause, 2);
}

TEST_F(PlayerTest, ChangingTheWaveStopsPlaybackBeforeItsMemoryChanges) {
    TSamplePlayer player(platform);
    TEvents ev;
    ev.Attach(player);
    LoadSample(player);
    player.SetActive(true);
    PlayBuffers(2);
    auto* device = platform.lastWaveOut();
    ASSERT_GT(device->queued(), 0u);
    const uint8_t byte = 0;
    player.Wave().Seek(0, TSeekOrigin::soEnd);
    player.Wave().Write(&byte, 1); // grows the block: the old memory is released
    EXPECT_EQ(device->queued(), 0u);
    Pump();
    EXPECT_EQ(ev.deactivate, 1);
    EXPECT_FALSE(player.Active());

    // The same while the end of the data closes the device: the last buffers
    // are still queued and must come back before the memory goes.
    LoadSample(player);
    TProbePlayer probe(platform);
    LoadSample(probe);
    probe.SetActive(true);
    for (int i = 0; i < 100 && !(probe.answers.size() == 20 && platform.lastWaveOut()->queued() > 0); ++i)
        PlayBuffers(1);
    device = platform.lastWaveOut();
    ASSERT_GT(device->queued(), 0u);
    probe.Wave().Clear();
    EXPECT_EQ(device->queued(), 0u);
    EXPECT_FALSE(device->completeNext());
    Pump();
    EXPECT_FALSE(probe.Active());
}

TEST_F(PlayerTest, SettingTheWaveCopiesIgnoresItselfAndClearsOnNone) {
    TSamplePlayer player(platform);
    TEvents ev;
    ev.Attach(player);
    LoadSample(player);
    player.SetActive(true);
    PlayBuffers(1);
    player.SetWave(&player.Wave());
    EXPECT_TRUE(player.Active());
    EXPECT_EQ(player.Wave().Size(), 30480u);

    TWaveImage other;
    const auto pcm = PcmWave(std::vector<uint8_t>(320, 0x10));
    other.LoadFromBuffer(pcm.data(), pcm.size());
    player.SetWave(&other);
    Pump();
    EXPECT_FALSE(player.Active());
    EXPECT_EQ(ev.deactivate, 1);
    EXPECT_EQ(player.Wave().Size(), pcm.size());
    EXPECT_EQ(player.Wave().DataSize(), 320u);

    player.SetActive(true);
    PlayBuffers(1);
    player.SetWave(nullptr);
    Pump();
    EXPECT_FALSE(player.Active());
    EXPECT_EQ(player.Wave().Size(), 0u);
}

TEST_F(PlayerTest, DestroyingAnActivePlayerClosesTheDeviceWithoutDeactivate) {
    TEvents ev;
    {
        TSamplePlayer player(platform);
        ev.Attach(player);
        LoadSample(player);
        player.SetActive(true);
        PlayBuffers(2);
        ASSERT_EQ(platform.openedWaveOuts().size(), 1u);
    }
    EXPECT_TRUE(platform.openedWaveOuts().empty());
    EXPECT_EQ(ev.deactivate, 0);
    Pump(); // nothing left that reaches the destroyed player

    // Destroyed while the end of the data is closing the device.
    {
        TProbePlayer player(platform);
        LoadSample(player);
        player.SetActive(true);
        for (int i = 0; i < 100 && player.answers.size() < 20; ++i)
            PlayBuffers(1);
        ASSERT_TRUE(player.Active());
    }
    EXPECT_TRUE(platform.openedWaveOuts().empty());
    Pump();
}

TEST_F(PlayerTest, OpenFailuresRaiseThePlatformTextOrGoToOnError) {
    TSamplePlayer player(platform);
    TEvents ev;
    ev.Attach(player);
    // No wave: the format query fails.
    try {
        player.SetActive(true);
        ADD_FAILURE() << "an empty wave must not open";
    } catch (const EWaveSysError& e) {
        EXPECT_STREQ(e.what(), "An invalid parameter was passed to an audio function.");
    }
    EXPECT_FALSE(player.Active());
    EXPECT_EQ(player.LastError(), mm::MMSYSERR_INVALPARAM);
    EXPECT_TRUE(platform.openedWaveOuts().empty());

    // Bytes that are no wave, with OnError set: no exception.
    player.OnError = [&](TWaveEngine*) { ++ev.error; };
    const char junk[] = "not a wave at all";
    player.Wave().LoadFromBuffer(junk, sizeof junk);
    player.SetActive(true);
    EXPECT_EQ(ev.error, 1);
    EXPECT_FALSE(player.Active());

    // The device refuses the real open.
    player.OnError = nullptr;
    LoadSample(player);
    platform.waveOutSetup(0).openResult = mm::MMSYSERR_ALLOCATED;
    player.SetDeviceID(0);
    EXPECT_THROW(player.SetActive(true), EWaveSysError);
    EXPECT_FALSE(player.Active());
    Pump();
    EXPECT_EQ(ev.activate + ev.deactivate, 0);
}

TEST_F(PlayerTest, DeviceIdIsCheckedAndFixedWhileOpen) {
    TSamplePlayer player(platform);
    EXPECT_EQ(player.DeviceID(), -1);
    player.SetDeviceID(1);
    EXPECT_EQ(player.DeviceID(), 1);
    // The device was unplugged after the list was filled.
    platform.clearWaveDevices();
    platform.addWaveOut(mm::MemoryWaveDeviceSetup::named("Speakers One"));
    try {
        player.SetDeviceID(0);
        player.SetDeviceID(1);
        ADD_FAILURE() << "a missing device must be refused";
    } catch (const EWaveSysError& e) {
        EXPECT_STREQ(e.what(), "The audio device number is out of range.");
    }
    EXPECT_EQ(player.DeviceID(), 0);

    LoadSample(player);
    player.SetActive(true);
    EXPECT_NO_THROW(player.SetDeviceID(0));
    try {
        player.SetDeviceID(-1);
        ADD_FAILURE() << "the device cannot change while open";
    } catch (const EWaveInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "DeviceID cannot be changed while device is open");
    }
    EXPECT_EQ(player.DeviceID(), 0);
    EXPECT_EQ(platform.lastWaveOut()->deviceId(), 0u);
}

TEST_F(PlayerTest, AFailedBufferWriteEndsPlaybackInsteadOfHanging) {
    for (const bool withOnError : {true, false}) {
        SCOPED_TRACE(withOnError ? "OnError set" : "raised to the application");
        App()->errors.clear();
        TSamplePlayer player(platform);
        TEvents ev;
        ev.Attach(player, withOnError);
        uint32_t reported = 0;
        if (withOnError)
            player.OnError = [&](TWaveEngine* sender) {
                ++ev.error;
                reported = sender->LastError();
            };
        LoadSample(player);
        player.SetActive(true);
        PlayBuffers(2);
        platform.lastWaveOut()->setResult(mm::WaveOp::Write, mm::MMSYSERR_NODRIVER);
        PlayToEnd(player);
        EXPECT_FALSE(player.Active());
        EXPECT_EQ(ev.deactivate, 1);
        if (withOnError) {
            EXPECT_EQ(ev.error, 1);
            EXPECT_EQ(reported, mm::MMSYSERR_NODRIVER);
            EXPECT_TRUE(App()->errors.empty());
        } else {
            ASSERT_EQ(App()->errors.size(), 1u);
            EXPECT_EQ(App()->errors[0], "No sound server or audio driver is available.");
        }
    }
}

TEST_F(PlayerTest, BufferSettings) {
    TSamplePlayer player(platform);
    player.SetBufferLength(5);
    EXPECT_EQ(player.BufferLength(), 10);
    player.SetBufferLength(250);
    EXPECT_EQ(player.BufferLength(), 250);
    player.SetBufferCount(0);
    EXPECT_EQ(player.BufferCount(), 0);
    player.SetAsync(true);
    EXPECT_TRUE(player.Async());
    player.SetAsync(false);

    // 250 ms buffers of the sample are 407 bytes rounded up to 7 blocks; a
    // buffer count of 0 plays one buffer at a time.
    TEvents ev;
    ev.Attach(player);
    LoadSample(player);
    player.SetActive(true);
    player.SetAsync(true); // ignored while active
    EXPECT_FALSE(player.Async());
    size_t maxQueued = 0;
    const auto played = PlayToEnd(player, &maxQueued);
    EXPECT_EQ(maxQueued, 1u);
    EXPECT_EQ(played.size(), 30420u);
    ASSERT_FALSE(ev.buffers.empty());
    EXPECT_EQ(ev.buffers.front().second, 455u);
}

TEST_F(PlayerTest, LevelsFollowPcmBuffersAndFallToZeroAtTheClose) {
    TSamplePlayer player(platform);
    TEvents ev;
    ev.Attach(player);
    std::vector<uint8_t> data;
    auto put = [&](int16_t v, int count) {
        for (int i = 0; i < count; ++i)
            PutLe(data, static_cast<uint16_t>(v), 2);
    };
    put(16384, 80);  // first 10 ms buffer: half scale
    put(-20000, 80); // second: only negative
    put(32767, 40);  // last, half a buffer: full scale
    Load(player, PcmWave(data));
    player.SetBufferLength(10);
    player.SetActive(true);
    PlayToEnd(player);
    EXPECT_EQ(ev.levels, (std::vector<int>{50, 0, 100, 0}));
}

TEST_F(PlayerTest, VolumeOptionsApplyAtOpenAndWhileOpen) {
    TSamplePlayer player(platform);
    LoadSample(player);
    player.SetOptions({TWaveOutOption::woSetVolume}); // inactive: only stored
    EXPECT_EQ(player.Volume(), 75);
    player.SetActive(true);
    auto* device = platform.lastWaveOut();
    uint32_t value = 0;
    device->volume(value);
    EXPECT_EQ(value, 0xFFFFFFFFu); // not before the open notification
    Pump();
    device->volume(value);
    EXPECT_EQ(value, 0xBFFFBFFFu); // 75 % = 49151
    player.SetVolume(50);
    device->volume(value);
    EXPECT_EQ(value, 0x80008000u); // 32767.5 rounds away from zero
    EXPECT_EQ(player.Volume(), 50);
    player.SetVolume(150);
    device->volume(value);
    EXPECT_EQ(value, 0xFFFFFFFFu); // above 100 % the level stays at its top
    player.SetOptions({});
    player.SetVolume(20);
    device->volume(value);
    EXPECT_EQ(value, 0xFFFFFFFFu); // without the option the device is left alone
}

namespace {

// A device with pitch and playback-rate control around an in-memory one.
class TRateDevice : public mm::WaveOutDevice {
public:
    explicit TRateDevice(std::unique_ptr<mm::WaveOutDevice> inner) : inner_(std::move(inner)) {}
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

class TRatePlatform : public mm::MemoryAudioPlatform {
public:
    mm::MmResult openWaveOut(std::unique_ptr<mm::WaveOutDevice>* device, uint32_t id,
                             const mm::WaveFormatEx* f, QObject* cb, uint32_t flags) override {
        const mm::MmResult r = MemoryAudioPlatform::openWaveOut(device, id, f, cb, flags);
        if (r == 0 && device && *device) {
            auto wrapped = std::make_unique<TRateDevice>(std::move(*device));
            last = wrapped.get();
            *device = std::move(wrapped);
        }
        return r;
    }
    TRateDevice* last = nullptr;
};

} // namespace

TEST(WaveOutEngine, PitchAndRateGoToTheDeviceIn16Dot16) {
    EXPECT_EQ(TWaveOutEngine::MultiplierToFixed(1.0), 0x10000u);
    EXPECT_EQ(TWaveOutEngine::MultiplierToFixed(1.5), 0x18000u);
    EXPECT_EQ(TWaveOutEngine::MultiplierToFixed(0.5), 0x8000u);
    EXPECT_EQ(TWaveOutEngine::MultiplierToFixed(2.0 + 1.0 / 3), 0x25555u); // fraction truncated
    EXPECT_DOUBLE_EQ(TWaveOutEngine::FixedToMultiplier(0x18000), 1.5);
    EXPECT_DOUBLE_EQ(TWaveOutEngine::FixedToMultiplier(0x4000), 0.25);

    TRatePlatform platform;
    auto setup = mm::MemoryWaveDeviceSetup::named("Rate");
    setup.support |= mm::WAVECAPS_PITCH | mm::WAVECAPS_PLAYBACKRATE;
    platform.addWaveOut(setup);
    TSamplePlayer player(platform);
    auto stream = OpenResourceStream("sample", "WAVE");
    player.Wave().LoadFromStream(*stream);
    player.SetOptions({TWaveOutOption::woSetPitch, TWaveOutOption::woSetPlaybackRate});
    player.SetPitch(1.5);
    EXPECT_DOUBLE_EQ(player.Pitch(), 1.5); // stored while inactive
    player.SetActive(true);
    Pump();
    ASSERT_NE(platform.last, nullptr);
    EXPECT_EQ(platform.last->pitch_, 0x18000u);
    EXPECT_EQ(platform.last->rate_, 0x10000u);
    player.SetPlaybackRate(0.5);
    EXPECT_EQ(platform.last->rate_, 0x8000u);
    EXPECT_DOUBLE_EQ(player.PlaybackRate(), 0.5);
    platform.last->pitch_ = 0x14000;
    EXPECT_DOUBLE_EQ(player.Pitch(), 1.25); // read back from the device
    player.SetActive(false);
    Pump();
}

TEST_F(PlayerTest, DeviceCapabilitiesMapOntoSupportFormatsAndName) {
    TSamplePlayer player(platform);
    auto& setup = platform.waveOutSetup(1);
    setup.support = mm::WAVECAPS_LRVOLUME | mm::WAVECAPS_SYNC | mm::WAVECAPS_PITCH;
    setup.formats = mm::WAVE_FORMAT_1M08 | mm::WAVE_FORMAT_4S16;
    player.SetDeviceID(1);
    EXPECT_EQ(player.GetDeviceName(), "Headphones Two");
    // Left/right volume only counts with volume; a synchronous device is not asynchronous.
    EXPECT_EQ(player.DeviceSupport(), TWaveDeviceSupports{TWaveDeviceSupport::dsPitch});
    EXPECT_EQ(player.GetDeviceFormats(), (TPCMFormatSet{1, 2, 3, 4, 5, 16}));
    setup.support =
        mm::WAVECAPS_VOLUME | mm::WAVECAPS_LRVOLUME | mm::WAVECAPS_PLAYBACKRATE | mm::WAVECAPS_SAMPLEACCURATE;
    EXPECT_EQ(player.DeviceSupport(),
              (TWaveDeviceSupports{TWaveDeviceSupport::dsVolume, TWaveDeviceSupport::dsLeftRightVolume,
                                   TWaveDeviceSupport::dsPlaybackRate, TWaveDeviceSupport::dsSampleAccurate,
                                   TWaveDeviceSupport::dsAsynchronous}));
    EXPECT_TRUE(player.IsPCMFormatSupported(3));
    EXPECT_TRUE(player.IsPCMFormatSupported(128 + 20));
    EXPECT_FALSE(player.IsPCMFormatSupported(0));
    EXPECT_EQ(player.GetNumDevs(), 2u);
    setup.capsResult = mm::MMSYSERR_NODRIVER;
    EXPECT_EQ(player.GetDeviceName(), "");
    EXPECT_TRUE(player.GetDeviceFormats().empty());
    EXPECT_TRUE(player.DeviceSupport().Empty());
    EXPECT_EQ(player.GetErrorText(mm::WAVERR_BADFORMAT), "The audio device cannot use this wave format.");
    EXPECT_EQ(player.GetErrorText(4711), "");
}

TEST_F(PlayerTest, PositionAndSeekingMoveTheReadPositionOnBlocks) {
    TSamplePlayer player(platform);
    TEvents ev;
    ev.Attach(player);
    LoadSample(player);
    EXPECT_EQ(player.GetPosition(), 0u);
    player.SetActive(true);
    PlayBuffers(2);
    EXPECT_EQ(player.GetPosition(), 2000u);
    ev.buffers.clear();
    player.SetPosition(10500); // 17062.5 bytes: on the block at 17030
    Pump();
    ASSERT_FALSE(ev.buffers.empty());
    EXPECT_EQ(ev.buffers.front().first, Bytes(player.Wave()) + 60 + 17030);
    EXPECT_EQ(player.GetPosition(), 10500u);
    const auto played = PlayToEnd(player);
    EXPECT_EQ(ev.deactivate, 1);
}

namespace {

// Copy mode: the engine owns the buffers and the provider fills them.
class TCountingEngine : public TWaveOutEngine {
public:
    TCountingEngine(mm::AudioPlatform& p, uint32_t total) : TWaveOutEngine(p), total_(total) {}
    ~TCountingEngine() override { DestroyEngine(); }

protected:
    void GetWaveFormat(const TWaveFormatEx*& format, bool& freeIt) override {
        // Left for the engine to free.
        EXPECT_TRUE(freeIt);
        auto* record = static_cast<TWaveFormatEx*>(std::calloc(1, sizeof(TWaveFormatEx)));
        *record = TWaveFormatEx{mm::WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
        format = record;
        next_ = 0;
    }
    uint32_t FillBuffer(uint8_t* data, uint32_t size, uint32_t&) override {
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
class TScriptEngine : public TWaveOutEngine {
public:
    struct TAnswer {
        std::vector<uint8_t> bytes; // empty: silence of `n` milliseconds
        uint32_t n = 0;
        uint32_t loops = 0;
    };
    TScriptEngine(mm::AudioPlatform& p, std::vector<TAnswer> script)
        : TWaveOutEngine(p), script_(std::move(script)) {
        SetCopyMode(false);
    }
    ~TScriptEngine() override { DestroyEngine(); }

protected:
    void GetWaveFormat(const TWaveFormatEx*& format, bool& freeIt) override {
        freeIt = false;
        format = &format_;
    }
    uint32_t GetBufferData(uint8_t*& data, uint32_t& loops, bool& takeOwnership) override {
        if (next_ >= script_.size())
            return 0;
        const TAnswer& a = script_[next_++];
        loops = a.loops;
        if (a.bytes.empty())
            return a.n;
        data = static_cast<uint8_t*>(std::malloc(a.bytes.size()));
        std::memcpy(data, a.bytes.data(), a.bytes.size());
        takeOwnership = true;
        return static_cast<uint32_t>(a.bytes.size());
    }

private:
    TWaveFormatEx format_{mm::WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
    std::vector<TAnswer> script_;
    size_t next_ = 0;
};

} // namespace

TEST_F(PlayerTest, CopyModeFillsEngineBuffersAndShrinksTheLast) {
    TCountingEngine engine(platform, 200);
    TEvents ev;
    ev.Attach(engine);
    engine.SetBufferLength(10); // 80 bytes
    engine.SetActive(true);
    const auto played = PlayToEnd(engine);
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
    TScriptEngine engine(platform, {{first}, {{}, 20}, {looped, 0, 3}});
    engine.SetBufferCount(1); // one at a time, so that the silence is kept
    engine.SetActive(true);
    const auto played = PlayToEnd(engine);
    std::vector<uint8_t> expected = first;
    expected.insert(expected.end(), 160, 128); // 20 ms of 8-bit silence
    for (int i = 0; i < 3; ++i)
        expected.insert(expected.end(), looped.begin(), looped.end());
    EXPECT_EQ(played, expected);

    // With more than one buffer queued, silence is not queued: the returned
    // header is dropped and playing goes on with the next data.
    TScriptEngine shrinking(platform, {{first}, {first}, {{}, 20}, {looped}});
    shrinking.SetActive(true);
    const auto played2 = PlayToEnd(shrinking);
    std::vector<uint8_t> expected2 = first;
    expected2.insert(expected2.end(), first.begin(), first.end());
    expected2.insert(expected2.end(), looped.begin(), looped.end());
    EXPECT_EQ(played2, expected2);
}
