#pragma once

#include <cstddef>
#include <cstdint>

namespace tavora {

// Levels of a stretch of 16-bit PCM, in dB relative to full scale (32768).
// RMS is relative to a full-scale square wave, so a full-scale sine reads
// -3.0 dBFS. Silence reads -inf, reported as MinimumDb.
struct LevelStats {
    static constexpr double MinimumDb = -120.0;
    static constexpr double NoSignalDb = -60.0;
    // A run longer than this many samples at full scale is clipping.
    static constexpr int ClipRunLimit = 6;

    double peakDb = MinimumDb;
    double rmsDb = MinimumDb;
    int longestFullScaleRun = 0;
    std::size_t samples = 0;

    bool noSignal() const { return rmsDb < NoSignalDb; }
    bool clipping() const { return longestFullScaleRun > ClipRunLimit; }
};

LevelStats measureLevels(const std::int16_t* samples, std::size_t count);

} // namespace tavora
