// The level sliders as the pages show them, on the gradient slider widget.

#include "audio/devices/MixerControls.h"

#include "controls/GradientSlider.h"
#include "support/audio/MemoryAudioPlatform.h"

#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

using namespace tavora::audio;
using namespace tavora::platform::audio;

namespace {

struct Page {
    Page() {
        QObject::connect(&tbMikeVolume, &QSlider::valueChanged, [this] { ++mikeChanges; });
        QObject::connect(&tbWaveVolume, &QSlider::valueChanged, [this] { ++waveChanges; });
        tbMikeVolume.setValue(500);
        tbWaveVolume.setValue(500);
        mikeChanges = waveChanges = 0;
    }
    void refresh(AudioPlatform& platform, std::uint32_t in, std::uint32_t out) {
        RefreshLevelControls(platform, in, out, &tbMikeVolume, &lbMikeVolAvail, &tbWaveVolume,
                             &lbWaveVolAvail);
    }
    TGradientSlider tbMikeVolume;
    TGradientSlider tbWaveVolume;
    QLabel lbMikeVolAvail{"Microphone Level Not Available"};
    QLabel lbWaveVolAvail{"Speakers Level Not Available"};
    int mikeChanges = 0;
    int waveChanges = 0;
};

TEST(LevelSliders, AvailableLevelsAreLoadedWithoutWritingThemBack) {
    MemoryAudioPlatform platform;
    platform.addMixer(MemoryMixerSetup::standard("Card", 65535, 1234));
    Page page;
    page.refresh(platform, 0, 0);
    EXPECT_TRUE(page.tbMikeVolume.isEnabled());
    EXPECT_TRUE(page.tbWaveVolume.isEnabled());
    EXPECT_EQ(page.tbMikeVolume.value(), 1234);
    EXPECT_EQ(page.tbWaveVolume.value(), 65535);
    EXPECT_TRUE(page.lbMikeVolAvail.isHidden());
    EXPECT_TRUE(page.lbWaveVolAvail.isHidden());
    EXPECT_EQ(page.mikeChanges, 0);
    EXPECT_EQ(page.waveChanges, 0);
    EXPECT_EQ(platform.mixerCounters().detailWrites, 0);
    // The handlers are attached again afterwards.
    page.tbMikeVolume.setValue(99);
    EXPECT_EQ(page.mikeChanges, 1);
}

TEST(LevelSliders, WithoutMixersBothSlidersAreDisabledAtZeroWithTheirLabels) {
    MemoryAudioPlatform platform;
    Page page;
    page.refresh(platform, 0, 0);
    EXPECT_FALSE(page.tbMikeVolume.isEnabled());
    EXPECT_FALSE(page.tbWaveVolume.isEnabled());
    EXPECT_EQ(page.tbMikeVolume.value(), 0);
    EXPECT_EQ(page.tbWaveVolume.value(), 0);
    EXPECT_FALSE(page.lbMikeVolAvail.isHidden());
    EXPECT_FALSE(page.lbWaveVolAvail.isHidden());
}

TEST(LevelSliders, EachSliderFollowsItsOwnDevice) {
    MemoryAudioPlatform platform;
    MemoryMixerSetup speakersOnly = MemoryMixerSetup::standard("Out", 300, 0);
    speakersOnly.destinations.pop_back();
    platform.addMixer(speakersOnly);
    platform.addMixer(MemoryMixerSetup::standard("In", 0, 400));
    Page page;
    page.refresh(platform, 1, 0);
    EXPECT_EQ(page.tbMikeVolume.value(), 400);
    EXPECT_EQ(page.tbWaveVolume.value(), 300);
    page.refresh(platform, 0, 0);
    EXPECT_FALSE(page.tbMikeVolume.isEnabled());
    EXPECT_FALSE(page.lbMikeVolAvail.isHidden());
    EXPECT_TRUE(page.tbWaveVolume.isEnabled());
    // Available again: enabled, label hidden.
    page.refresh(platform, 1, 0);
    EXPECT_TRUE(page.tbMikeVolume.isEnabled());
    EXPECT_TRUE(page.lbMikeVolAvail.isHidden());
}

TEST(LevelSliders, APageWithOneSliderRefreshesOnlyThatOne) {
    MemoryAudioPlatform platform;
    platform.addMixer(MemoryMixerSetup::standard("Card", 10, 20));
    TGradientSlider wave;
    QLabel label;
    RefreshLevelControls(platform, 0, 0, nullptr, nullptr, &wave, &label);
    EXPECT_EQ(wave.value(), 10);
    EXPECT_EQ(platform.mixerCounters().opens, 1);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
