#include "audio/devices/DeviceLists.h"

#include "support/audio/MemoryAudioPlatform.h"

#include <gtest/gtest.h>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::platform::audio;

namespace {

TEST(DeviceLists, OneInputDeviceIsTheDefault) {
    MemoryAudioPlatform platform;
    platform.addWaveIn(MemoryWaveDeviceSetup::named("USB Headset"));
    QStringList list;
    listWaveInDevices(platform, list);
    EXPECT_EQ(list, QStringList{"USB Headset (Windows Default)"});
}

TEST(DeviceLists, OutputDevicesKeepTheirOrderAndOnlyTheFirstIsMarked) {
    MemoryAudioPlatform platform;
    for (const char* name : {"A", "B", "C"})
        platform.addWaveOut(MemoryWaveDeviceSetup::named(name));
    QStringList list{"stale"};
    listWaveOutDevices(platform, list);
    EXPECT_EQ(list, (QStringList{"A (Windows Default)", "B", "C"}));
    // Filling again replaces, it does not append.
    listWaveOutDevices(platform, list);
    EXPECT_EQ(list.size(), 3);
}

TEST(DeviceLists, ANameOfAllThirtyTwoBytesIsKeptWhole) {
    MemoryAudioPlatform platform;
    MemoryWaveDeviceSetup setup;
    setup.productName.fill('x'); // no terminating zero
    platform.addWaveOut(MemoryWaveDeviceSetup::named("first"));
    platform.addWaveOut(setup);
    QStringList list;
    listWaveOutDevices(platform, list);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[1], QString(32, 'x'));
}

TEST(DeviceLists, TheWholeDescriptionAndTheServerNamesWhereThePlatformHasThem) {
    MemoryAudioPlatform platform;
    MemoryWaveDeviceSetup fifo = MemoryWaveDeviceSetup::named("Unix FIFO sink", "fifo_output");
    fifo.description = "Unix FIFO sink /tmp/aud-audio/sink.fifo";
    platform.addWaveOut(MemoryWaveDeviceSetup::named("Speakers", "spk1"));
    platform.addWaveOut(fifo);
    QStringList list;
    std::vector<std::string> names{"stale"};
    listWaveOutDevices(platform, list, &names);
    EXPECT_EQ(list, (QStringList{"Speakers (Windows Default)", "Unix FIFO sink /tmp/aud-audio/sink.fifo"}));
    EXPECT_EQ(names, (std::vector<std::string>{"spk1", "fifo_output"}));
}

TEST(DeviceLists, AFailingDeviceIsLeftOutAndTheSuffixStaysWithDeviceZero) {
    MemoryAudioPlatform platform;
    MemoryWaveDeviceSetup broken = MemoryWaveDeviceSetup::named("Broken");
    broken.capsResult = MMSYSERR_NODRIVER;
    platform.addWaveIn(broken);
    platform.addWaveIn(MemoryWaveDeviceSetup::named("Line In"));
    QStringList list;
    listWaveInDevices(platform, list);
    EXPECT_EQ(list, QStringList{"Line In"});
}

TEST(DeviceLists, NoDevicesGiveAnEmptyList) {
    MemoryAudioPlatform platform;
    QStringList list{"old"};
    listWaveOutDevices(platform, list);
    EXPECT_TRUE(list.isEmpty());
    listWaveInDevices(platform, list);
    EXPECT_TRUE(list.isEmpty());
}

TEST(DeviceLists, NamesAreUtf8) {
    MemoryAudioPlatform platform;
    platform.addWaveOut(MemoryWaveDeviceSetup::named("Haut-parleurs intégrés"));
    QStringList list;
    listWaveOutDevices(platform, list);
    EXPECT_EQ(list, QStringList{QString::fromUtf8("Haut-parleurs intégrés (Windows Default)")});
}

} // namespace
