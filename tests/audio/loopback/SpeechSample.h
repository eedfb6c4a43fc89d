#pragma once

// Speech for the loop's end-to-end runs: the wizard's own voice sample
// (GSM 6.10 in a wave file), decoded to 8000 Hz mono 16-bit samples.

#include <cstdint>
#include <string>
#include <vector>

namespace tavora {

namespace looptest {

std::vector<std::int16_t> decodeSpeechSample(const std::string& path);

// Normalised cross-correlation of `signal` with `recorded` at the lag (in
// samples, 0..maxLag) where it is highest.
struct Match {
    std::size_t lag = 0;
    double correlation = 0;
};
Match bestMatch(const std::vector<std::int16_t>& signal, const std::vector<std::int16_t>& recorded,
                std::size_t maxLag);

} // namespace looptest

} // namespace tavora
