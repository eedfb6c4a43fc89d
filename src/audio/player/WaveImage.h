#pragma once

#include "audio/player/MemoryStream.h"
#include "audio/player/WaveFormats.h"

#include <functional>
#include <memory>

namespace tavora::audio {

// The complete byte image of a RIFF WAVE file in memory. It finds the format
// record and the place of the sample data inside the image on demand and
// hands them out; it never decodes or copies the samples.
class WaveImage : public MemoryStream {
public:
    using NotifyEvent = std::function<void(WaveImage* sender)>;

    WaveImage() = default;
    ~WaveImage() override = default;

    size_t write(const void* buffer, size_t count) override;

    // Brings the reading of the RIFF structure up to date after a change and
    // answers whether the image is a valid wave.
    virtual bool refresh();

    // The format record (at least 18 bytes, extra bytes included), or null
    // when the image is not a valid wave.
    const WaveFormatEx* waveFormat();
    // Size in bytes of the record waveFormat() points to; 0 when not valid.
    size_t waveFormatSize();
    // Declared size of the sample data; 0 when not valid.
    uint32_t dataSize();
    // Offset of the first sample byte from the start of memory(); 0 when not valid.
    uint32_t dataOffset();

    // Told when the image goes from read to changed. It is told before the
    // change is made, so that whoever still reads the old bytes (a playing
    // device) can let go of them before they are overwritten or released.
    NotifyEvent onChange;

protected:
    void realloc(size_t newCapacity) override;

private:
    void changed();

    bool changed_ = false;
    bool valid_ = false;
    uint32_t dataSize_ = 0;
    uint32_t dataOffset_ = 0;
    std::unique_ptr<std::byte[]> waveFormat_;
    size_t waveFormatSize_ = 0;
};

} // namespace tavora::audio
