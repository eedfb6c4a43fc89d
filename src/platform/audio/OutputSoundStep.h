#pragma once

// When the output device starts and ends its sound: the rule that keeps the
// microphone loop free of gaps, apart from the stream it runs on.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tavora::platform::audio {

enum class OutputSoundStep {
    KeepGoing, // write what is asked for, as it is
    leadIn,    // audio starts from silence: silence goes in front of it
    Stop,      // the sound ends: silence goes after the last audio
};

// The output at one moment, in bytes of the stream.
struct OutputSoundState {
    bool sounding = false;            // audio is being heard (its lead-in was paid)
    bool audioWaiting = false;        // the caller's audio waits to be written
    std::uint64_t written = 0;        // bytes written to the server
    std::uint64_t played = 0;         // of them, bytes heard
    std::optional<std::size_t> asked; // what the server asks for now, when it says
    std::size_t target = 0;           // what the server holds at most
    std::size_t stopAt = 0;           // the stop threshold
};

// Audio waiting after silence gets its lead-in. With nothing left to write,
// the sound stops only once the server's queue has run low (it asks for
// nearly all it can hold) *and* no more than `stopAt` is left to hear in the
// queue and the device together: a device that takes its data well ahead of
// playing it empties the queue early, and a stop then would put silence in
// front of a buffer still on time.
OutputSoundStep outputSoundStep(const OutputSoundState& state);

} // namespace tavora::platform::audio
