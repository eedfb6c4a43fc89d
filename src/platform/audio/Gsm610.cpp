#include "platform/audio/Gsm610.h"

#include <gsm.h>

#include <algorithm>
#include <new>

namespace tavora::platform::audio::gsm610 {

namespace {

gsm_state* createWav49() {
    gsm_state* g = gsm_create();
    if (!g)
        throw std::bad_alloc();
    int one = 1;
    gsm_option(g, GSM_OPT_WAV49, &one);
    return g;
}

} // namespace

void Encoder::Free::operator()(gsm_state* g) const {
    gsm_destroy(g);
}
void Decoder::Free::operator()(gsm_state* g) const {
    gsm_destroy(g);
}

Encoder::Encoder() : handle_(createWav49()) {}

void Encoder::encodeBlock(const std::int16_t* samples, std::uint8_t* out) {
    // libgsm takes non-const pointers but does not write the input.
    auto* in = const_cast<gsm_signal*>(reinterpret_cast<const gsm_signal*>(samples));
    // A block is two frames: the first writes 32 bytes and keeps half a byte
    // that the second writes ahead of its 32.
    gsm_encode(handle_.get(), in, out);
    gsm_encode(handle_.get(), in + 160, out + 32);
}

std::size_t Encoder::encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out) {
    const std::size_t blocks = std::min(samples.size() / BlockSamples, out.size() / BlockBytes);
    for (std::size_t b = 0; b < blocks; ++b)
        encodeBlock(samples.data() + b * BlockSamples, out.data() + b * BlockBytes);
    return blocks * BlockBytes;
}

Decoder::Decoder() : handle_(createWav49()) {}

void Decoder::decodeBlock(const std::uint8_t* in, std::int16_t* out) {
    auto* src = const_cast<gsm_byte*>(in);
    auto* dst = reinterpret_cast<gsm_signal*>(out);
    // The first frame reads 33 bytes (the last only half), the second the 32
    // after them.
    const bool ok =
        gsm_decode(handle_.get(), src, dst) == 0 && gsm_decode(handle_.get(), src + 33, dst + 160) == 0;
    if (!ok) {
        std::fill(out, out + BlockSamples, 0);
        int zero = 0;
        gsm_option(handle_.get(), GSM_OPT_FRAME_INDEX, &zero);
    }
}

std::size_t Decoder::decode(std::span<const std::uint8_t> in, std::span<std::int16_t> out) {
    const std::size_t blocks = std::min(in.size() / BlockBytes, out.size() / BlockSamples);
    for (std::size_t b = 0; b < blocks; ++b)
        decodeBlock(in.data() + b * BlockBytes, out.data() + b * BlockSamples);
    return blocks * BlockSamples;
}

} // namespace tavora::platform::audio::gsm610
