// Feeds arbitrary bytes to the wave image's RIFF reader. The image's block is
// exactly as large as the input, so AddressSanitizer reports any read past
// the bytes it holds; the invariants of a reading are checked as well.

#include "audio/player/WaveImage.h"

#include <cstring>

using namespace tavora::audio;

namespace {
void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TWaveImage wave;
    int changes = 0;
    wave.OnChange = [&](TWaveImage*) { ++changes; };
    wave.LoadFromBuffer(data, size);
    Check(changes == 1);
    wave.Seek(static_cast<int64_t>(size / 2), TSeekOrigin::soBeginning);

    const bool valid = wave.Refresh();
    Check(wave.Size() == size);
    Check(size == 0 || std::memcmp(wave.Memory(), data, size) == 0);
    if (!valid) {
        Check(wave.WaveFormat() == nullptr && wave.DataSize() == 0 && wave.DataOffset() == 0);
        Check(size == 0 || wave.Position() == 0);
        return 0;
    }
    Check(wave.Position() == 0);
    const TWaveFormatEx* format = wave.WaveFormat();
    Check(format != nullptr && wave.WaveFormatSize() >= sizeof(TWaveFormatEx));
    // The whole record is readable, extra bytes included.
    volatile uint8_t sink = 0;
    const auto* record = reinterpret_cast<const uint8_t*>(format);
    for (size_t i = 0; i < wave.WaveFormatSize(); ++i)
        sink = sink ^ record[i];
    // The data chunk's header lay inside the image; a player clamps the end.
    Check(wave.DataOffset() <= size);
    const size_t end = std::min<uint64_t>(uint64_t{wave.DataOffset()} + wave.DataSize(), size);
    const auto* samples = reinterpret_cast<const uint8_t*>(wave.Memory()) + wave.DataOffset();
    PeakLevel(samples, end - wave.DataOffset(), format->wBitsPerSample);
    TimeToBufferSize(*format, 1000);
    TimeToDataOffset(*format, 1000);
    Check(changes == 1); // reading is no change
    return 0;
}
