#include "SpeechSample.h"

#include "platform/audio/Gsm610.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tavora {

namespace looptest {

namespace gsm = tavora::platform::audio::gsm610;

std::vector<std::int16_t> decodeSpeechSample(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        std::memcpy(&v, file.data() + at, 4);
        return v;
    };
    // Walk the chunks after "RIFF....WAVE" up to "data".
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        const std::uint32_t size = u32(at + 4);
        if (std::memcmp(file.data() + at, "data", 4) == 0) {
            const std::size_t end = std::min(file.size(), at + 8 + size);
            const std::size_t blocks = (end - at - 8) / gsm::BlockBytes;
            std::vector<std::int16_t> pcm(blocks * gsm::BlockSamples);
            gsm::Decoder decoder;
            decoder.decode({file.data() + at + 8, blocks * gsm::BlockBytes}, pcm);
            return pcm;
        }
        at += 8 + size + (size & 1);
    }
    throw std::runtime_error("no sample data in " + path);
}

Match bestMatch(const std::vector<std::int16_t>& signal, const std::vector<std::int16_t>& recorded,
                std::size_t maxLag) {
    Match best;
    double signalEnergy = 0;
    for (std::int16_t s : signal)
        signalEnergy += double(s) * s;
    if (signalEnergy == 0 || recorded.size() < signal.size())
        return best;
    const std::size_t lastLag = std::min(maxLag, recorded.size() - signal.size());
    // The window's energy slides along with the lag.
    double windowEnergy = 0;
    for (std::size_t i = 0; i < signal.size(); ++i)
        windowEnergy += double(recorded[i]) * recorded[i];
    for (std::size_t lag = 0; lag <= lastLag; ++lag) {
        if (lag > 0) {
            const double out = recorded[lag - 1];
            const double in = recorded[lag + signal.size() - 1];
            windowEnergy += in * in - out * out;
        }
        if (windowEnergy <= 0)
            continue;
        double dot = 0;
        for (std::size_t i = 0; i < signal.size(); ++i)
            dot += double(signal[i]) * recorded[lag + i];
        const double r = dot / std::sqrt(signalEnergy * windowEnergy);
        if (r > best.correlation)
            best = {lag, r};
    }
    return best;
}

} // namespace looptest

} // namespace tavora
