// The output's rule for starting and ending its sound, at 8000 Hz mono 16-bit:
// a server target of 250 ms (4000 bytes) and a stop threshold of 50 ms (800).

#include "platform/audio/OutputSoundStep.h"

#include <gtest/gtest.h>

using namespace tavora;

using namespace tavora::platform::audio;

namespace {

TEST(OutputSoundStep, StopsOnlyWithTheQueueLowAndLittleLeftToHear) {
    using enum OutputSoundStep;
    const struct {
        const char* what;
        bool sounding, audioWaiting;
        std::uint64_t written, played;
        std::optional<std::size_t> asked;
        OutputSoundStep step;
    } rows[] = {
        {"audio after silence", false, true, 8000, 8000, 4000, leadIn},
        {"silence with nothing to write", false, false, 8000, 8000, 4000, KeepGoing},
        {"audio still to write", true, true, 8000, 7800, 4000, KeepGoing},
        {"queue low, little to hear", true, false, 8000, 7400, 3400, Stop},
        {"both just at the threshold", true, false, 8000, 7200, 3200, Stop},
        {"queue well filled", true, false, 8000, 5000, 1000, KeepGoing},
        // A device with a buffer of its own took the queue early: 200 ms are
        // still to be heard, a stop would put silence in front of the next.
        {"queue low, much to hear", true, false, 8000, 4800, 4000, KeepGoing},
        {"the server does not say", true, false, 8000, 8000, std::nullopt, KeepGoing},
    };
    for (const auto& row : rows) {
        const OutputSoundState state{row.sounding, row.audioWaiting, row.written, row.played, row.asked, 4000,
                                     800};
        EXPECT_EQ(outputSoundStep(state), row.step) << row.what;
    }
}

} // namespace
