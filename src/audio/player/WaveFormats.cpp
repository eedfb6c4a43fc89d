#include "audio/player/WaveFormats.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tavora::audio {

namespace {

// a * b / c rounded half away from zero, as the platform's MulDiv does for
// non-negative operands, saturated to 32 bits.
uint64_t mulDivRounded(uint64_t a, uint64_t b, uint64_t c) {
    const uint64_t product = a * b; // both operands are below 2^32
    return (product + c / 2) / c;
}

uint32_t saturate32(uint64_t value) {
    return static_cast<uint32_t>(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
}

} // namespace

uint32_t mulDiv(uint32_t a, uint32_t b, uint32_t c) {
    return c == 0 ? 0 : saturate32(mulDivRounded(a, b, c));
}

uint32_t timeToBufferSize(const WaveFormatEx& format, uint32_t milliseconds) {
    uint64_t n = mulDivRounded(milliseconds, format.nAvgBytesPerSec, 1000);
    const uint64_t align = format.nBlockAlign;
    if (align != 0 && n % align != 0)
        n += align - n % align;
    return saturate32(n);
}

uint32_t timeToDataOffset(const WaveFormatEx& format, uint32_t milliseconds) {
    uint64_t n = mulDivRounded(format.nAvgBytesPerSec, milliseconds, 1000);
    const unsigned k = (static_cast<unsigned>(format.nChannels) * format.wBitsPerSample) >> 4;
    n &= ~((uint64_t{1} << std::min(k, 63u)) - 1);
    // The mask lands on a frame for 8- and 16-bit PCM. Block-coded formats
    // (GSM 6.10 has 65-byte blocks and 0 bits per sample) and odd frame sizes
    // can only be played from the start of a block, so keep to whole blocks.
    if (format.nBlockAlign > 1)
        n -= n % format.nBlockAlign;
    return saturate32(n);
}

int32_t peakLevel(const void* buffer, size_t count, uint32_t bitsPerSample) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (bitsPerSample == 8) {
        uint8_t m = 0;
        for (size_t i = 0; i < count; ++i)
            m = std::max(m, bytes[i]);
        return m >= 128 ? (m - 128) * 100 / 127 : 0;
    }
    if (bitsPerSample == 16) {
        int32_t m = 0;
        for (size_t i = 0; i + 1 < count; i += 2) {
            const auto s = static_cast<int16_t>(static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8)));
            m = std::max<int32_t>(m, s);
        }
        return m * 100 / 32767;
    }
    return -1;
}

void fillSilence(void* buffer, size_t count, uint32_t bitsPerSample) {
    if (bitsPerSample == 8)
        std::memset(buffer, 128, count);
    else if (bitsPerSample == 16)
        std::memset(buffer, 0, count);
}

bool makePCMFormat(uint8_t code, WaveFormatEx& format) {
    static constexpr uint32_t kRates[] = {8000, 11025, 22050, 44100, 48000};
    code &= 0x7F;
    if (code < 1 || code > 20)
        return false;
    const unsigned index = code - 1u;
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<uint16_t>((index & 1) + 1);
    format.wBitsPerSample = (index & 2) ? 16 : 8;
    format.nSamplesPerSec = kRates[index >> 2];
    format.nBlockAlign = static_cast<uint16_t>(format.nChannels * format.wBitsPerSample / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    format.cbSize = 0;
    return true;
}

} // namespace tavora::audio
