// The player with its notifications on a thread of its own, on in-memory
// devices that play in real time from a clock thread.

#include "audio/player/PlayerTestSupport.h"
#include "audio/player/RiffBuilder.h"
#include "audio/player/SamplePlayer.h"

#include "support/audio/EventPump.h"
#include "support/audio/MemoryAudioPlatform.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::test;
namespace mm = tavora::platform::audio;

namespace {

// Notes the flags of each real open, on the opening thread: the device
// object itself belongs to the notification thread once open.
class FlagsPlatform : public mm::MemoryAudioPlatform {
public:
    mm::MmResult openWaveOut(std::unique_ptr<mm::WaveOutDevice>* device, uint32_t id,
                             const mm::WaveFormatEx* f, QObject* callback, uint32_t flags) override {
        if (!(flags & mm::WAVE_FORMAT_QUERY))
            openFlags = flags;
        return MemoryAudioPlatform::openWaveOut(device, id, f, callback, flags);
    }
    std::atomic<uint32_t> openFlags{0};
};

class AsyncPlayer : public testing::Test {
protected:
    void SetUp() override {
        platform.addWaveOut(mm::MemoryWaveDeviceSetup::named("Speakers One"));
        platform.setRealTimeClock(true);
        const auto bytes = gsmWave(10); // 400 ms
        player.wave().loadFromBuffer(bytes.data(), bytes.size());
        player.setAsync(true);
        player.setBufferLength(100); // 195 bytes: three blocks
        player.onActivate = [this](WaveEngine*) {
            onMainThread = onMainThread || QThread::currentThread() == qApp->thread();
            ++activated;
        };
        player.onDeactivate = [this](WaveEngine*) {
            onMainThread = onMainThread || QThread::currentThread() == qApp->thread();
            ++deactivated;
        };
        player.onBufferData = [this](WaveEngine*, const void* data, uint32_t n) {
            std::lock_guard lock(mutex);
            const auto* p = static_cast<const uint8_t*>(data);
            written.insert(written.end(), p, p + n);
        };
    }

    FlagsPlatform platform;
    SamplePlayer player{platform};
    std::atomic<int> activated{0}, deactivated{0};
    std::atomic<bool> onMainThread{false};
    std::mutex mutex;
    std::vector<uint8_t> written;
};

} // namespace

TEST_F(AsyncPlayer, PlaysOnTheNotificationThreadToTheEnd) {
    player.setActive(true);
    EXPECT_EQ(platform.openFlags, mm::CALLBACK_THREAD | mm::WAVE_MAPPED);
    ASSERT_TRUE(pumpUntil([&] { return deactivated > 0; }, std::chrono::milliseconds(5000)));
    EXPECT_EQ(activated, 1);
    EXPECT_EQ(deactivated, 1);
    EXPECT_FALSE(onMainThread);
    EXPECT_FALSE(player.active());
    std::lock_guard lock(mutex);
    ASSERT_EQ(written.size(), 650u);
    EXPECT_EQ(std::memcmp(written.data(), reinterpret_cast<const uint8_t*>(player.wave().memory()) + 60, 650),
              0);
}

TEST_F(AsyncPlayer, StopsFromTheUserInterfaceThreadAndPlaysAgain) {
    player.setActive(true);
    ASSERT_TRUE(pumpUntil([&] { return activated > 0; }, std::chrono::milliseconds(2000)));
    player.setActive(false);
    ASSERT_TRUE(pumpUntil([&] { return deactivated > 0; }, std::chrono::milliseconds(2000)));
    EXPECT_FALSE(player.active());
    player.setActive(true);
    ASSERT_TRUE(pumpUntil([&] { return deactivated > 1; }, std::chrono::milliseconds(5000)));
    EXPECT_EQ(activated, 2);
}

TEST_F(AsyncPlayer, DestroyingWhilePlayingEndsTheThreadWithoutDeactivate) {
    auto local = std::make_unique<SamplePlayer>(platform);
    std::atomic<int> localDeactivated{0};
    local->onDeactivate = [&](WaveEngine*) { ++localDeactivated; };
    const auto bytes = gsmWave(50);
    local->wave().loadFromBuffer(bytes.data(), bytes.size());
    local->setAsync(true);
    local->setActive(true);
    QThread::msleep(150);
    local.reset();
    EXPECT_TRUE(platform.openedWaveOuts().empty());
    EXPECT_EQ(localDeactivated, 0);
}
