#include "shell/report/LevelMeter.h"

#include <algorithm>
#include <cmath>

namespace tavora {

namespace {
double toDb(double ratio) {
    return ratio > 0 ? std::max(LevelStats::MinimumDb, 20.0 * std::log10(ratio)) : LevelStats::MinimumDb;
}
bool fullScale(std::int16_t s) {
    return s >= 32767 || s <= -32767;
}
} // namespace

LevelStats measureLevels(const std::int16_t* samples, std::size_t count) {
    LevelStats stats;
    stats.samples = count;
    if (count == 0)
        return stats;
    double sumSquares = 0;
    int peak = 0;
    int run = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int s = samples[i];
        peak = std::max(peak, std::abs(s));
        sumSquares += double(s) * s;
        run = fullScale(samples[i]) ? run + 1 : 0;
        stats.longestFullScaleRun = std::max(stats.longestFullScaleRun, run);
    }
    stats.peakDb = toDb(peak / 32768.0);
    stats.rmsDb = toDb(std::sqrt(sumSquares / double(count)) / 32768.0);
    return stats;
}

} // namespace tavora
