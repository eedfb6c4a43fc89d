#pragma once

// The reference decode of GSM 6.10 wave data (65-byte blocks, two frames of
// 160 samples packed as 33 + 32 bytes) with libgsm.

#include <gsm.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace tavora::test {

inline std::vector<int16_t> gsmDecode(const uint8_t* data, size_t bytes) {
    std::unique_ptr<gsm_state, void (*)(gsm_state*)> decoder(gsm_create(), gsm_destroy);
    int wav49 = 1;
    if (!decoder || gsm_option(decoder.get(), GSM_OPT_WAV49, &wav49) < 0)
        throw std::runtime_error("libgsm without WAV49");
    std::vector<int16_t> pcm((bytes / 65) * 320);
    for (size_t b = 0; b < bytes / 65; ++b) {
        auto* in = const_cast<gsm_byte*>(data + b * 65);
        if (gsm_decode(decoder.get(), in, pcm.data() + b * 320) < 0 ||
            gsm_decode(decoder.get(), in + 33, pcm.data() + b * 320 + 160) < 0)
            throw std::runtime_error("GSM frame does not decode");
    }
    return pcm;
}

} // namespace tavora::test
