#pragma once

// GSM 6.10 in the block layout of wave files (65 bytes for 320 samples of
// 16-bit mono PCM), on libgsm. Encoder and decoder each own one libgsm handle:
// the codec keeps state from block to block, so one direction never shares a
// handle with the other.

#include <cstdint>
#include <memory>
#include <span>

struct gsm_state;

namespace tavora::platform::audio::gsm610 {

inline constexpr std::size_t BlockBytes = 65;
inline constexpr std::size_t BlockSamples = 320;
inline constexpr std::size_t BlockPcmBytes = BlockSamples * 2;

class Encoder {
public:
    Encoder();
    // Encodes whole blocks: samples.size() / 320 of them into
    // out (at least 65 bytes each); answers the bytes written.
    std::size_t encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out);
    // One block.
    void encodeBlock(const std::int16_t* samples, std::uint8_t* out);

private:
    struct Free {
        void operator()(gsm_state* g) const;
    };
    std::unique_ptr<gsm_state, Free> handle_;
};

class Decoder {
public:
    Decoder();
    // Decodes whole blocks: in.size() / 65 of them into out (320 samples
    // each); answers the samples written. A block libgsm rejects decodes
    // as silence.
    std::size_t decode(std::span<const std::uint8_t> in, std::span<std::int16_t> out);
    void decodeBlock(const std::uint8_t* in, std::int16_t* out);

private:
    struct Free {
        void operator()(gsm_state* g) const;
    };
    std::unique_ptr<gsm_state, Free> handle_;
};

} // namespace tavora::platform::audio::gsm610
