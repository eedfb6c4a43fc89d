// The level sliders as the pages show them, on the gradient slider widget.

#include "audio/devices/MixerControls.h"

#include "controls/GradientSlider.h"
#include "support/audio/MemoryAudioPlatform.h"

#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::platform::audio;

namespace {

struct Page {
    Page() {
        QObject::connect(&microphoneLevelSlider, &QSlider::valueChanged, [this] { ++mikeChanges; });
        QObject::connect(&speakerLevelSlider, &QSlider::valueChanged, [this] { ++waveChanges; });
        microphoneLevelSlider.setValue(500);
        speakerLevelSlider.setValue(500);
        mikeChanges = waveChanges = 0;
    }
    void refresh(AudioPlatform& platform, std::uint32_t in, std::uint32_t out) {
        refreshLevelControls(platform, in, out, &microphoneLevelSlider, &microphoneLevelUnavailableLabel, &speakerLevelSlider,
                             &speakerLevelUnavailableLabel);
    }
    GradientSlider microphoneLevelSlider;
    GradientSlider speakerLevelSlider;
    QLabel microphoneLevelUnavailableLabel{"Microphone Level Not Available"};
    QLabel speakerLevelUnavailableLabel{"Speakers Level Not Available"};
    int mikeChanges = 0;
    int waveChanges = 0;
};

TEST(LevelSliders, AvailableLevelsAreLoadedWithoutWritingThemBack) {
    MemoryAudioPlatform platform;
    platform.addMixer(MemoryMixerSetup::standard("Card", 65535, 1234));
    Page page;
    page.refresh(platform, 0, 0);
    EXPECT_TRUE(page.microphoneLevelSlider.isEnabled());
    EXPECT_TRUE(page.speakerLevelSlider.isEnabled());
    EXPECT_EQ(page.microphoneLevelSlider.value(), 1234);
    EXPECT_EQ(page.speakerLevelSlider.value(), 65535);
    EXPECT_TRUE(page.microphoneLevelUnavailableLabel.isHidden());
    EXPECT_TRUE(page.speakerLevelUnavailableLabel.isHidden());
    EXPECT_EQ(page.mikeChanges, 0);
    EXPECT_EQ(page.waveChanges, 0);
    EXPECT_EQ(platform.mixerCounters().detailWrites, 0);
    // The handlers are attached again afterwards.
    page.microphoneLevelSlider.setValue(99);
    EXPECT_EQ(page.mikeChanges, 1);
}

TEST(LevelSliders, WithoutMixersBothSlidersAreDisabledAtZeroWithTheirLabels) {
    MemoryAudioPlatform platform;
    Page page;
    page.refresh(platform, 0, 0);
    EXPECT_FALSE(page.microphoneLevelSlider.isEnabled());
    EXPECT_FALSE(page.speakerLevelSlider.isEnabled());
    EXPECT_EQ(page.microphoneLevelSlider.value(), 0);
    EXPECT_EQ(page.speakerLevelSlider.value(), 0);
    EXPECT_FALSE(page.microphoneLevelUnavailableLabel.isHidden());
    EXPECT_FALSE(page.speakerLevelUnavailableLabel.isHidden());
}

TEST(LevelSliders, EachSliderFollowsItsOwnDevice) {
    MemoryAudioPlatform platform;
    MemoryMixerSetup speakersOnly = MemoryMixerSetup::standard("Out", 300, 0);
    speakersOnly.destinations.pop_back();
    platform.addMixer(speakersOnly);
    platform.addMixer(MemoryMixerSetup::standard("In", 0, 400));
    Page page;
    page.refresh(platform, 1, 0);
    EXPECT_EQ(page.microphoneLevelSlider.value(), 400);
    EXPECT_EQ(page.speakerLevelSlider.value(), 300);
    page.refresh(platform, 0, 0);
    EXPECT_FALSE(page.microphoneLevelSlider.isEnabled());
    EXPECT_FALSE(page.microphoneLevelUnavailableLabel.isHidden());
    EXPECT_TRUE(page.speakerLevelSlider.isEnabled());
    // Available again: enabled, label hidden.
    page.refresh(platform, 1, 0);
    EXPECT_TRUE(page.microphoneLevelSlider.isEnabled());
    EXPECT_TRUE(page.microphoneLevelUnavailableLabel.isHidden());
}

TEST(LevelSliders, APageWithOneSliderRefreshesOnlyThatOne) {
    MemoryAudioPlatform platform;
    platform.addMixer(MemoryMixerSetup::standard("Card", 10, 20));
    GradientSlider wave;
    QLabel label;
    refreshLevelControls(platform, 0, 0, nullptr, nullptr, &wave, &label);
    EXPECT_EQ(wave.value(), 10);
    EXPECT_EQ(platform.mixerCounters().opens, 1);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
