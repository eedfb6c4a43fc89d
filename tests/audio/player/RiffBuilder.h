#pragma once

// Builds RIFF images chunk by chunk for the tests.

#include <cstdint>
#include <string>
#include <vector>

namespace tavora::test {

inline void putLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline std::vector<uint8_t> chunk(const std::string& id, const std::vector<uint8_t>& body, bool pad = true) {
    std::vector<uint8_t> out(id.begin(), id.end());
    putLe(out, static_cast<uint32_t>(body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
    if (pad && body.size() % 2)
        out.push_back(0);
    return out;
}

// A chunk header that declares `declared` bytes, followed by `body`.
inline std::vector<uint8_t> chunkClaiming(const std::string& id, uint32_t declared,
                                          const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out(id.begin(), id.end());
    putLe(out, declared, 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline std::vector<uint8_t> riff(const std::string& form, const std::vector<std::vector<uint8_t>>& chunks) {
    std::vector<uint8_t> body(form.begin(), form.end());
    for (const auto& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    return chunk("RIFF", body);
}

// A format chunk body: tag, channels, rate, average bytes, block align, bits,
// then (when given) cbSize and the extra bytes.
inline std::vector<uint8_t> fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg,
                                    uint16_t align, uint16_t bits, std::vector<uint8_t> extra = {},
                                    bool withCbSize = true) {
    std::vector<uint8_t> out;
    putLe(out, tag, 2);
    putLe(out, channels, 2);
    putLe(out, rate, 4);
    putLe(out, avg, 4);
    putLe(out, align, 2);
    putLe(out, bits, 2);
    if (withCbSize) {
        putLe(out, static_cast<uint32_t>(extra.size()), 2);
        out.insert(out.end(), extra.begin(), extra.end());
    }
    return out;
}

// The header layout of a GSM 6.10 wave: 20-byte format, fact, data.
inline std::vector<uint8_t> gsmWave(uint32_t blocks) {
    std::vector<uint8_t> fact;
    putLe(fact, blocks * 320, 4);
    std::vector<uint8_t> data(blocks * 65);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7 + 1);
    return riff("WAVE", {chunk("fmt ", fmtBody(0x31, 1, 8000, 1625, 65, 0, {0x40, 0x01})),
                         chunk("fact", fact), chunk("data", data)});
}

inline std::vector<uint8_t> pcmWave(const std::vector<uint8_t>& data, uint16_t channels = 1,
                                    uint32_t rate = 8000, uint16_t bits = 16) {
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    return riff("WAVE", {chunk("fmt ", fmtBody(1, channels, rate, rate * align, align, bits, {}, false)),
                         chunk("data", data)});
}

} // namespace tavora::test
