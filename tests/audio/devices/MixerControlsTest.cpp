#include "audio/devices/MixerControls.h"

#include "support/audio/MemoryAudioPlatform.h"

#include <gtest/gtest.h>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::platform::audio;

namespace {

TopologyLine line(std::uint32_t type, std::string name, std::uint32_t channels = 1) {
    TopologyLine l;
    l.componentType = type;
    l.name = std::move(name);
    l.channels = channels;
    return l;
}

TopologyControl control(std::uint32_t type, std::string name, std::vector<std::uint32_t> values = {}) {
    TopologyControl c;
    c.type = type;
    c.name = std::move(name);
    c.values = std::move(values);
    return c;
}

TopologyControl volume(std::string name, std::uint32_t level = 0) {
    return control(MIXERCONTROL_CONTROLTYPE_VOLUME, std::move(name), {level, level});
}

// A recording destination with the given sources, each with a volume named
// after the line.
MemoryMixerSetup recordingWith(std::vector<std::pair<std::uint32_t, std::string>> sources) {
    MemoryMixerSetup setup;
    TopologyLine rec = line(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", 2);
    rec.controls.push_back(volume("Recording Volume", 1000));
    for (auto& [type, name] : sources) {
        TopologyLine src = line(type, name);
        src.controls.push_back(volume(name + " Volume", 2000));
        rec.sources.push_back(std::move(src));
    }
    setup.destinations.push_back(std::move(rec));
    return setup;
}

// A microphone source on the recording destination with these controls.
MemoryMixerSetup micWith(std::vector<TopologyControl> controls, std::uint32_t channels = 1) {
    MemoryMixerSetup setup;
    TopologyLine rec = line(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", 2);
    TopologyLine mic = line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", channels);
    mic.controls = std::move(controls);
    rec.sources.push_back(std::move(mic));
    setup.destinations.push_back(std::move(rec));
    return setup;
}

TEST(MixerControls, WithoutMixersEveryRoutineFails) {
    MemoryAudioPlatform platform;
    std::uint16_t level = 7;
    std::uint32_t boost = 7;
    EXPECT_FALSE(getSpeakerVolume(platform, 0, level));
    EXPECT_FALSE(setSpeakerVolume(platform, 0, 1));
    EXPECT_FALSE(getMicVolume(platform, 0, level));
    EXPECT_FALSE(setMicVolume(platform, 0, 1));
    EXPECT_FALSE(getMicBoost(platform, 0, boost));
    EXPECT_FALSE(setMicBoost(platform, 0, 1));
    EXPECT_EQ(level, 7);
    EXPECT_EQ(boost, 7u);
}

TEST(MixerControls, LevelsGoThroughUnscaledAndTheMixerIsClosedEveryTime) {
    MemoryAudioPlatform platform;
    platform.addMixer(MemoryMixerSetup::standard("Card", 100, 200));
    std::uint16_t level = 0;
    ASSERT_TRUE(getSpeakerVolume(platform, 0, level));
    EXPECT_EQ(level, 100);
    ASSERT_TRUE(getMicVolume(platform, 0, level));
    EXPECT_EQ(level, 200);
    for (std::uint16_t v : {std::uint16_t{65535}, std::uint16_t{0}, std::uint16_t{32768}}) {
        ASSERT_TRUE(setSpeakerVolume(platform, 0, v));
        ASSERT_TRUE(setMicVolume(platform, 0, v));
        // A one-channel write sets both channels of the stereo speakers.
        EXPECT_EQ(platform.findControl(0, "Speakers", "Volume")->values, (std::vector<std::uint32_t>{v, v}));
        EXPECT_EQ(platform.findControl(0, "Microphone", "Microphone Volume")->values[0], v);
        ASSERT_TRUE(getSpeakerVolume(platform, 0, level));
        EXPECT_EQ(level, v);
    }
    EXPECT_EQ(platform.openMixers(), 0);
    EXPECT_EQ(platform.mixerCounters().opens, platform.mixerCounters().closes);
}

TEST(MixerControls, OnlyTheLowSixteenBitsOfALevelAreRead) {
    MemoryAudioPlatform platform;
    platform.addMixer(MemoryMixerSetup::standard("Card", 0x12345, 0));
    std::uint16_t level = 0;
    ASSERT_TRUE(getSpeakerVolume(platform, 0, level));
    EXPECT_EQ(level, 0x2345);
}

TEST(MixerControls, AMixerThatCannotBeOpenedHasNoLevel) {
    MemoryAudioPlatform platform;
    MemoryMixerSetup setup = MemoryMixerSetup::standard("Busy", 5, 5, true);
    setup.openResult = MMSYSERR_ALLOCATED;
    platform.addMixer(setup);
    std::uint16_t level = 9;
    std::uint32_t boost = 9;
    EXPECT_FALSE(getSpeakerVolume(platform, 0, level));
    EXPECT_FALSE(getMicVolume(platform, 0, level));
    EXPECT_FALSE(setSpeakerVolume(platform, 0, 1));
    EXPECT_FALSE(setMicVolume(platform, 0, 1));
    EXPECT_FALSE(getMicBoost(platform, 0, boost));
    EXPECT_EQ(level, 9);
}

TEST(MixerControls, WithoutAMicrophoneTheLastRecordingSourceIsUsed) {
    MemoryAudioPlatform platform;
    platform.addMixer(recordingWith({{MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In"},
                                     {MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Audio"}}));
    ASSERT_TRUE(setMicVolume(platform, 0, 4242));
    EXPECT_EQ(platform.findControl(0, "CD Audio", "CD Audio Volume")->values[0], 4242u);
    EXPECT_EQ(platform.findControl(0, "Line In", "Line In Volume")->values[0], 2000u);
    std::uint16_t level = 0;
    ASSERT_TRUE(getMicVolume(platform, 0, level));
    EXPECT_EQ(level, 4242);
}

TEST(MixerControls, TheMicrophoneSourceIsFoundAmongOthers) {
    MemoryAudioPlatform platform;
    platform.addMixer(recordingWith({{MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In"},
                                     {MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic"},
                                     {MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Audio"}}));
    ASSERT_TRUE(setMicVolume(platform, 0, 777));
    EXPECT_EQ(platform.findControl(0, "Mic", "Mic Volume")->values[0], 777u);
    EXPECT_EQ(platform.findControl(0, "CD Audio", "CD Audio Volume")->values[0], 2000u);
}

TEST(MixerControls, ARecordingDestinationWithoutSourcesUsesItsOwnVolume) {
    MemoryAudioPlatform platform;
    platform.addMixer(recordingWith({}));
    std::uint16_t level = 0;
    ASSERT_TRUE(getMicVolume(platform, 0, level));
    EXPECT_EQ(level, 1000);
    ASSERT_TRUE(setMicVolume(platform, 0, 31));
    EXPECT_EQ(platform.findControl(0, "Recording", "Recording Volume")->values,
              (std::vector<std::uint32_t>{31, 31}));
}

TEST(MixerControls, LinesWithoutAVolumeControlHaveNoLevel) {
    MemoryAudioPlatform platform;
    MemoryMixerSetup setup;
    TopologyLine speakers = line(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", 2);
    speakers.controls.push_back(control(MIXERCONTROL_CONTROLTYPE_MUTE, "Mute"));
    setup.destinations.push_back(speakers);
    platform.addMixer(setup);
    std::uint16_t level = 3;
    EXPECT_FALSE(getSpeakerVolume(platform, 0, level));
    EXPECT_FALSE(getMicVolume(platform, 0, level)); // no recording destination
    EXPECT_EQ(level, 3);
    EXPECT_EQ(platform.openMixers(), 0);
}

TEST(MixerControls, AFailingReadOrWriteIsReported) {
    MemoryAudioPlatform platform;
    MemoryMixerSetup setup = MemoryMixerSetup::standard("Card", 1, 1);
    setup.destinations[0].controls[0].getResult = MMSYSERR_ERROR;
    setup.destinations[0].controls[0].setResult = MMSYSERR_ERROR;
    platform.addMixer(setup);
    std::uint16_t level = 0;
    EXPECT_FALSE(getSpeakerVolume(platform, 0, level));
    EXPECT_FALSE(setSpeakerVolume(platform, 0, 1));
    EXPECT_TRUE(getMicVolume(platform, 0, level));
}

TEST(MixerControls, BoostIsFoundByAnyNameContainingBoost) {
    for (const char* name : {"Mic Boost", "Microphone BOOST", "Booster", "+20dB boost"}) {
        MemoryAudioPlatform platform;
        platform.addMixer(
            micWith({volume("Mic Volume"), control(MIXERCONTROL_CONTROLTYPE_ONOFF, name, {1})}));
        std::uint32_t value = 0;
        ASSERT_TRUE(getMicBoost(platform, 0, value)) << name;
        EXPECT_EQ(value, 1u);
        ASSERT_TRUE(setMicBoost(platform, 0, 0)) << name;
        EXPECT_EQ(platform.findControl(0, "Microphone", name)->values[0], 0u);
        EXPECT_EQ(platform.openMixers(), 0);
    }
}

TEST(MixerControls, NoBoostNameMeansNoBoost) {
    MemoryAudioPlatform platform;
    platform.addMixer(micWith({volume("Mic Volume"), control(MIXERCONTROL_CONTROLTYPE_ONOFF, "AGC", {1}),
                               control(MIXERCONTROL_CONTROLTYPE_ONOFF, "Boo st", {1})}));
    std::uint32_t value = 5;
    EXPECT_FALSE(getMicBoost(platform, 0, value));
    EXPECT_FALSE(setMicBoost(platform, 0, 1));
    EXPECT_EQ(value, 5u);
}

TEST(MixerControls, AMicrophoneWithoutControlsIsNotAskedForThem) {
    MemoryAudioPlatform platform;
    platform.addMixer(micWith({}));
    std::uint32_t value = 0;
    EXPECT_FALSE(getMicBoost(platform, 0, value));
    EXPECT_EQ(platform.mixerCounters().lineControlsQueries, 0);
}

TEST(MixerControls, StereoBoostChangesTheFirstChannelOnly) {
    MemoryAudioPlatform platform;
    platform.addMixer(micWith({control(MIXERCONTROL_CONTROLTYPE_ONOFF, "Mic Boost", {0, 1})}, 2));
    std::uint32_t value = 9;
    ASSERT_TRUE(getMicBoost(platform, 0, value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(setMicBoost(platform, 0, 1));
    EXPECT_EQ(platform.findControl(0, "Microphone", "Mic Boost")->values, (std::vector<std::uint32_t>{1, 1}));
    ASSERT_TRUE(setMicBoost(platform, 0, 0));
    EXPECT_EQ(platform.findControl(0, "Microphone", "Mic Boost")->values, (std::vector<std::uint32_t>{0, 1}));
}

TEST(MixerControls, TheFirstMicrophoneOverAllDestinationsWins) {
    MemoryAudioPlatform platform;
    MemoryMixerSetup setup;
    TopologyLine speakers = line(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", 2);
    TopologyLine playbackMic = line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Playback Mic");
    playbackMic.controls.push_back(control(MIXERCONTROL_CONTROLTYPE_ONOFF, "Mic Boost", {0}));
    speakers.sources.push_back(playbackMic);
    setup.destinations.push_back(speakers);
    MemoryMixerSetup rec = micWith({control(MIXERCONTROL_CONTROLTYPE_ONOFF, "Mic Boost", {0})});
    setup.destinations.push_back(rec.destinations[0]);
    platform.addMixer(setup);
    ASSERT_TRUE(setMicBoost(platform, 0, 1));
    EXPECT_EQ(platform.findControl(0, "Playback Mic", "Mic Boost")->values[0], 1u);
    EXPECT_EQ(platform.findControl(0, "Microphone", "Mic Boost")->values[0], 0u);
}

TEST(MixerControls, ADestinationThatCannotBeReadEndsTheBoostSearch) {
    MemoryAudioPlatform platform;
    MemoryMixerSetup setup = micWith({control(MIXERCONTROL_CONTROLTYPE_ONOFF, "Mic Boost", {1})});
    TopologyLine broken = line(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", 2);
    broken.infoResult = MMSYSERR_ERROR;
    setup.destinations.insert(setup.destinations.begin(), broken);
    platform.addMixer(setup);
    std::uint32_t value = 0;
    EXPECT_FALSE(getMicBoost(platform, 0, value));
    EXPECT_EQ(platform.openMixers(), 0);
}

TEST(MixerControls, AFailingCapabilityQueryMeansNoBoostButLevelsStillWork) {
    MemoryAudioPlatform platform;
    MemoryMixerSetup setup = MemoryMixerSetup::standard("Card", 10, 20, true);
    setup.capsResult = MMSYSERR_ERROR;
    platform.addMixer(setup);
    std::uint32_t boost = 0;
    EXPECT_FALSE(getMicBoost(platform, 0, boost));
    EXPECT_FALSE(setMicBoost(platform, 0, 1));
    std::uint16_t level = 0;
    EXPECT_TRUE(getMicVolume(platform, 0, level));
    EXPECT_EQ(level, 20);
    EXPECT_EQ(platform.openMixers(), 0);
}

TEST(MixerControls, TheMixerNumberChoosesTheMixer) {
    MemoryAudioPlatform platform;
    platform.addMixer(MemoryMixerSetup::standard("First", 1, 2));
    platform.addMixer(MemoryMixerSetup::standard("Second", 3, 4));
    std::uint16_t level = 0;
    ASSERT_TRUE(getSpeakerVolume(platform, 1, level));
    EXPECT_EQ(level, 3);
    EXPECT_FALSE(getSpeakerVolume(platform, 2, level));
}

} // namespace
