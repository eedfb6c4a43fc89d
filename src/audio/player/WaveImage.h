#pragma once

#include "audio/player/MemoryStream.h"
#include "audio/player/WaveFormats.h"

#include <functional>
#include <memory>

namespace tavora::audio {

// The complete byte image of a RIFF WAVE file in memory. It finds the format
// record and the place of the sample data inside the image on demand and
// hands them out; it never decodes or copies the samples.
class TWaveImage : public TMemoryStream {
public:
    using TNotifyEvent = std::function<void(TWaveImage* sender)>;

    TWaveImage() = default;
    ~TWaveImage() override = default;

    size_t Write(const void* buffer, size_t count) override;

    // Brings the reading of the RIFF structure up to date after a change and
    // answers whether the image is a valid wave.
    virtual bool Refresh();

    // The format record (at least 18 bytes, extra bytes included), or null
    // when the image is not a valid wave.
    const TWaveFormatEx* WaveFormat();
    // Size in bytes of the record WaveFormat() points to; 0 when not valid.
    size_t WaveFormatSize();
    // Declared size of the sample data; 0 when not valid.
    uint32_t DataSize();
    // Offset of the first sample byte from the start of Memory(); 0 when not valid.
    uint32_t DataOffset();

    // Told when the image goes from read to changed. It is told before the
    // change is made, so that whoever still reads the old bytes (a playing
    // device) can let go of them before they are overwritten or released.
    TNotifyEvent OnChange;

protected:
    void Realloc(size_t newCapacity) override;

private:
    void Changed();

    bool changed_ = false;
    bool valid_ = false;
    uint32_t dataSize_ = 0;
    uint32_t dataOffset_ = 0;
    std::unique_ptr<std::byte[]> waveFormat_;
    size_t waveFormatSize_ = 0;
};

} // namespace tavora::audio
