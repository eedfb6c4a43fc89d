// The relay thread and its hand-off slot, with the playback stream on an
// in-memory device. Runs under ThreadSanitizer: the relay thread plays while
// this thread returns the device's buffers.

#include "LoopTestSupport.h"

#include "audio/loopback/PlayThread.h"
#include "audio/loopback/PlaybackStream.h"
#include "support/audio/MemoryAudioPlatform.h"
#include "support/audio/TestDeadlines.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::platform::audio;
using namespace std::chrono_literals;

namespace {

// Polls `done` until it holds or a generous limit passes; the limit only
// keeps a broken build from hanging.
bool eventually(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + 20s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class Relay : public ::testing::Test {
protected:
    void SetUp() override {
        platform.addWaveOut(MemoryWaveDeviceSetup::named("Speakers"));
        playback.setNumBuffers(3);
        playback.open(looptest::gsmRecord(), 0);
        device = platform.lastWaveOut();
    }

    void put(std::uint8_t tag, std::size_t size = 65) {
        const std::vector<std::uint8_t> block(size, tag);
        handOff.put(block.data(), block.size());
    }

    // Plays whatever the device holds and hands the buffers back.
    void drainDevice() {
        while (device->completeNext())
            ;
        QCoreApplication::sendPostedEvents();
    }

    MemoryAudioPlatform platform;
    PlaybackStream playback{platform};
    MemoryWaveOut* device = nullptr;
    LoopHandOff handOff;
};

TEST_F(Relay, PlaysEachBlockInTheOrderCaptured) {
    PlayThread thread(handOff, playback, false);
    std::vector<std::uint8_t> expected;
    for (std::uint8_t tag = 1; tag <= 10; ++tag) {
        put(tag);
        ASSERT_TRUE(eventually([&] { return thread.relayedBlocks() == tag; }));
        drainDevice();
        expected.insert(expected.end(), 65, tag);
    }
    EXPECT_EQ(device->played(), expected);
    EXPECT_FALSE(handOff.pendingBlock.has_value());
    thread.terminate();
    thread.waitFor();
    EXPECT_TRUE(thread.finished());
}

TEST_F(Relay, ABlockLeftWhileTheThreadWasNotWaitingIsStillPlayed) {
    PlayThread thread(handOff, playback, true);
    put(7);
    EXPECT_EQ(thread.relayedBlocks(), 0u); // suspended: nothing runs yet
    thread.resume();
    ASSERT_TRUE(eventually([&] { return device->queued() == 1; }));
    drainDevice();
    EXPECT_EQ(device->played(), std::vector<std::uint8_t>(65, 7));
}

TEST_F(Relay, ANewerBlockReplacesOneStillWaiting) {
    PlayThread thread(handOff, playback, true);
    put(1);
    put(2, 130);
    thread.resume();
    ASSERT_TRUE(eventually([&] { return thread.relayedBlocks() == 1; }));
    drainDevice();
    EXPECT_EQ(device->played(), std::vector<std::uint8_t>(130, 2));
}

TEST_F(Relay, TerminateEndsAWaitingThread) {
    {
        PlayThread thread(handOff, playback, false);
        ASSERT_FALSE(thread.terminated());
        thread.terminate();
        EXPECT_TRUE(thread.terminated());
        thread.waitFor();
        EXPECT_TRUE(thread.finished());
        // A block left after the end is not played by anyone.
        put(3);
    }
    EXPECT_EQ(device->queued(), 0u);
    {
        // Never started: waiting for it returns at once; so does destroying
        // a thread that is still waiting for a block.
        PlayThread never(handOff, playback, true);
        never.terminate();
        never.waitFor();
        PlayThread waiting(handOff, playback, false);
    }
}

TEST_F(Relay, AFailedPlayEndsTheThreadQuietly) {
    PlayThread thread(handOff, playback, false);
    device->setResult(WaveOp::Write, MMSYSERR_NOMEM);
    put(1);
    ASSERT_TRUE(eventually([&] { return thread.finished(); }));
    EXPECT_EQ(playback.freeSlots(), 3); // the refused block gave its slot back
    put(2);
    thread.waitFor();
    EXPECT_TRUE(handOff.pendingBlock.has_value());
}

TEST_F(Relay, StaysOrderedWhileBuffersComeBackConcurrently) {
    PlayThread thread(handOff, playback, false);
    // Each block is left once the previous one has been taken; the device's
    // buffers come back on this thread while the relay may still be playing.
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < 300; ++i) {
        const auto tag = static_cast<std::uint8_t>(i % 251);
        put(tag);
        expected.insert(expected.end(), 65, tag);
        ASSERT_TRUE(eventually([&] {
            std::lock_guard<std::mutex> lock(handOff.bufferLock);
            return !handOff.pendingBlock.has_value();
        }));
        drainDevice();
    }
    ASSERT_TRUE(eventually([&] { return thread.relayedBlocks() == 300; }));
    thread.terminate();
    thread.waitFor();
    drainDevice();
    EXPECT_EQ(device->played(), expected);
    EXPECT_EQ(playback.droppedBlocks(), 0u);
    EXPECT_EQ(playback.freeSlots(), 3);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    tavora::test::installTestDeadlines();
    return RUN_ALL_TESTS();
}
