// The device lists and level routines against the private PulseAudio daemon
// (tests/harness/pulse.sh). Levels are checked with pactl, which shares no
// code with the platform.

#include "audio/devices/CodecFormat.h"
#include "audio/devices/DeviceLists.h"
#include "audio/devices/MixerControls.h"

#include "platform/audio/PulseAudioPlatform.h"
#include "support/audio/PulseFifos.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::platform::audio;

namespace {

using tavora::test::pactlVolume;

class PulseDevices : public ::testing::Test {
protected:
    void SetUp() override {
        if (tavora::test::pulseServer().empty())
            GTEST_SKIP() << "needs the pulse fixture";
        platform = std::make_unique<PulseAudioPlatform>(tavora::test::pulseServer());
    }
    std::unique_ptr<PulseAudioPlatform> platform;
};

TEST_F(PulseDevices, ListsShowTheServersDescriptionsWithTheDefaultFirst) {
    QStringList outs, ins;
    listWaveOutDevices(*platform, outs);
    listWaveInDevices(*platform, ins);
    EXPECT_EQ(outs, (QStringList{"Speakers_One (Windows Default)", "Headphones_Two", "Pipe_Sink"}));
    EXPECT_EQ(ins, QStringList{"Pipe_Source (Windows Default)"});
}

TEST_F(PulseDevices, SpeakerLevelsAreTheSinksVolumes) {
    for (std::uint16_t level :
         {std::uint16_t{32768}, std::uint16_t{65535}, std::uint16_t{0}, std::uint16_t{1000}}) {
        ASSERT_TRUE(setSpeakerVolume(*platform, 1, level));
        // 65535 is the server's 100 % (65536); the scale is linear.
        EXPECT_EQ(pactlVolume("sink", "spk2"), std::lround(level * 65536.0 / 65535.0)) << level;
        std::uint16_t back = 1;
        ASSERT_TRUE(getSpeakerVolume(*platform, 1, back));
        EXPECT_EQ(back, level);
    }
    // Mixer 0 is the default sink.
    ASSERT_TRUE(setSpeakerVolume(*platform, 0, 20000));
    EXPECT_EQ(pactlVolume("sink", "spk1"), std::lround(20000 * 65536.0 / 65535.0));
    setSpeakerVolume(*platform, 0, 65535);
}

TEST_F(PulseDevices, MicrophoneLevelIsTheSourcesVolume) {
    ASSERT_TRUE(setMicVolume(*platform, 0, 40000));
    EXPECT_EQ(pactlVolume("source", "pipesrc"), std::lround(40000 * 65536.0 / 65535.0));
    std::uint16_t back = 0;
    ASSERT_TRUE(getMicVolume(*platform, 0, back));
    EXPECT_EQ(back, 40000);
    setMicVolume(*platform, 0, 65535);
    // Mixer 1 has a sink but no source of its own (monitors are not inputs).
    EXPECT_FALSE(getMicVolume(*platform, 1, back));
    EXPECT_FALSE(getSpeakerVolume(*platform, 3, back));
}

TEST_F(PulseDevices, TheServerHasNoBoostControl) {
    std::uint32_t boost = 0;
    EXPECT_FALSE(getMicBoost(*platform, 0, boost));
    EXPECT_FALSE(setMicBoost(*platform, 0, 1));
}

TEST_F(PulseDevices, TheLoopFormatOpensBothDirections) {
    std::vector<std::uint8_t> loop = makeLoopFormat(queryMaxFormatSize(platform->codecManager()));
    findCodecFormat(platform->codecManager(), loop);
    const auto* format = reinterpret_cast<const WaveFormatEx*>(loop.data());
    EXPECT_EQ(platform->openWaveIn(nullptr, 0, format, nullptr, WAVE_FORMAT_QUERY | WAVE_MAPPED),
              MMSYSERR_NOERROR);
    EXPECT_EQ(platform->openWaveOut(nullptr, 2, format, nullptr, WAVE_FORMAT_QUERY | WAVE_MAPPED),
              MMSYSERR_NOERROR);
}

} // namespace
