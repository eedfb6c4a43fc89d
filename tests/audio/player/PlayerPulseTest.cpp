// The sample player on the private PulseAudio daemon: what comes out of the
// pipe sink must be the reference decode of every block of the sample, in
// order, with nothing lost, repeated or inserted.

#include "audio/player/GsmReference.h"
#include "audio/player/SamplePlayer.h"
#include "audio/player/WaveResource.h"

#include "platform/audio/PulseAudioPlatform.h"
#include "support/audio/DeviceNamed.h"
#include "support/audio/EventPump.h"
#include "support/audio/PulseFifos.h"

#include <QIODevice>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using namespace tavora;

using namespace tavora::audio;
using namespace tavora::test;
namespace mm = tavora::platform::audio;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<int16_t> referenceDecode(WaveImage& wave) {
    return gsmDecode(reinterpret_cast<const uint8_t*>(wave.memory()) + wave.dataOffset(), wave.dataSize());
}

bool allZero(std::span<const int16_t> s) {
    return std::all_of(s.begin(), s.end(), [](int16_t v) { return v == 0; });
}

class PlayerPulse : public testing::Test {
protected:
    void SetUp() override {
        if (pulseDir().empty())
            GTEST_SKIP() << "needs the pulse fixture";
        platform = std::make_unique<mm::PulseAudioPlatform>(pulseServer());
        pipe = waveDeviceNamed(*platform, false, "Pipe_Sink");
        ASSERT_GE(pipe, 0);
    }

    std::unique_ptr<mm::PulseAudioPlatform> platform;
    int32_t pipe = -1;
};

} // namespace

TEST_F(PlayerPulse, SampleComesOutOfThePipeSinkWholeAndInOrder) {
    PipeSinkReader reader;
    SamplePlayer player(*platform);
    int activated = 0, deactivated = 0;
    Clock::time_point start, activatedAt, deactivatedAt;
    player.onActivate = [&](WaveEngine*) {
        ++activated;
        activatedAt = Clock::now();
    };
    player.onDeactivate = [&](WaveEngine*) {
        ++deactivated;
        deactivatedAt = Clock::now();
    };
    auto stream = openResourceStream("sample", "WAVE");
    player.wave().loadFromStream(*stream);
    const std::vector<int16_t> expected = referenceDecode(player.wave());
    ASSERT_EQ(expected.size(), 468u * 320u);

    player.setDeviceID(pipe);
    reader.clear();
    start = Clock::now();
    player.setActive(true);
    ASSERT_TRUE(pumpUntil([&] { return deactivated > 0; }, std::chrono::seconds(40)));
    // Anything that would follow (a second deactivation, stray audio) shows
    // up within a while.
    pumpFor(std::chrono::milliseconds(700));
    EXPECT_EQ(activated, 1);
    EXPECT_EQ(deactivated, 1);
    EXPECT_FALSE(player.active());
    const double seconds = std::chrono::duration<double>(deactivatedAt - start).count();
    EXPECT_GT(seconds, 18.2);
    EXPECT_LT(seconds, 21.0);
    EXPECT_LT(std::chrono::duration<double>(activatedAt - start).count(), 1.0);

    const auto heard = reader.samples();
    const size_t at = findSamples(heard, expected);
    ASSERT_NE(at, std::string::npos) << "the decode of all 468 blocks is not in what the sink played ("
                                     << heard.size() << " samples)";
    EXPECT_TRUE(allZero(std::span(heard).first(at)));
    EXPECT_TRUE(allZero(std::span(heard).subspan(at + expected.size())));
}

TEST_F(PlayerPulse, StoppingPartWayEndsTheSoundAtOnce) {
    PipeSinkReader reader;
    SamplePlayer player(*platform);
    int deactivated = 0;
    player.onDeactivate = [&](WaveEngine*) { ++deactivated; };
    auto stream = openResourceStream("sample", "WAVE");
    player.wave().loadFromStream(*stream);
    const auto expected = referenceDecode(player.wave());
    player.setDeviceID(pipe);
    reader.clear();
    player.setActive(true);
    pumpFor(std::chrono::milliseconds(3000));
    const auto stopAt = Clock::now();
    player.setActive(false);
    ASSERT_TRUE(pumpUntil([&] { return deactivated > 0; }, std::chrono::seconds(5)));
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - stopAt).count(), 1.0);
    pumpFor(std::chrono::milliseconds(1500));
    EXPECT_EQ(deactivated, 1);

    // What was heard is a prefix of the sample (no more than was played
    // before the stop, plus the device's latency), followed by silence.
    const auto heard = reader.samples();
    const auto first = std::find_if(heard.begin(), heard.end(), [](int16_t v) { return v != 0; });
    ASSERT_NE(first, heard.end());
    const auto lead = std::find_if(expected.begin(), expected.end(), [](int16_t v) { return v != 0; });
    const size_t offset = static_cast<size_t>(lead - expected.begin());
    size_t n = 0;
    const size_t start = static_cast<size_t>(first - heard.begin());
    while (start + n < heard.size() && offset + n < expected.size() &&
           heard[start + n] == expected[offset + n])
        ++n;
    EXPECT_GT(offset + n, 8000u * 2);     // about three seconds were heard
    EXPECT_LT(offset + n, 8000u * 9 / 2); // and not much more
    EXPECT_TRUE(allZero(std::span(heard).subspan(start + n)));
}
