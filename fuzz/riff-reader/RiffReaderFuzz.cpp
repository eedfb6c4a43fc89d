// Feeds arbitrary bytes to the wave image's RIFF reader. The image's block is
// exactly as large as the input, so AddressSanitizer reports any read past
// the bytes it holds; the invariants of a reading are checked as well.

#include "audio/player/WaveImage.h"

#include <cstring>

using namespace tavora;

using namespace tavora::audio;

namespace {
void check(bool condition) {
    if (!condition)
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WaveImage wave;
    int changes = 0;
    wave.onChange = [&](WaveImage*) { ++changes; };
    wave.loadFromBuffer(data, size);
    check(changes == 1);
    wave.seek(static_cast<int64_t>(size / 2), SeekOrigin::Beginning);

    const bool valid = wave.refresh();
    check(wave.size() == size);
    check(size == 0 || std::memcmp(wave.memory(), data, size) == 0);
    if (!valid) {
        check(wave.waveFormat() == nullptr && wave.dataSize() == 0 && wave.dataOffset() == 0);
        check(size == 0 || wave.position() == 0);
        return 0;
    }
    check(wave.position() == 0);
    const WaveFormatEx* format = wave.waveFormat();
    check(format != nullptr && wave.waveFormatSize() >= sizeof(WaveFormatEx));
    // The whole record is readable, extra bytes included.
    volatile uint8_t sink = 0;
    const auto* record = reinterpret_cast<const uint8_t*>(format);
    for (size_t i = 0; i < wave.waveFormatSize(); ++i)
        sink = sink ^ record[i];
    // The data chunk's header lay inside the image; a player clamps the end.
    check(wave.dataOffset() <= size);
    const size_t end = std::min<uint64_t>(uint64_t{wave.dataOffset()} + wave.dataSize(), size);
    const auto* samples = reinterpret_cast<const uint8_t*>(wave.memory()) + wave.dataOffset();
    peakLevel(samples, end - wave.dataOffset(), format->wBitsPerSample);
    timeToBufferSize(*format, 1000);
    timeToDataOffset(*format, 1000);
    check(changes == 1); // reading is no change
    return 0;
}
