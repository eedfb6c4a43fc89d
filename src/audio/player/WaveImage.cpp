#include "audio/player/WaveImage.h"

#include <algorithm>
#include <limits>

namespace tavora::audio {

namespace {

constexpr uint32_t FourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

constexpr uint32_t kRiff = FourCC("RIFF");
constexpr uint32_t kList = FourCC("LIST");
constexpr uint32_t kWave = FourCC("WAVE");
constexpr uint32_t kFmt = FourCC("fmt ");
constexpr uint32_t kData = FourCC("data");

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct TChunk {
    uint32_t id = 0;
    uint32_t size = 0;
    uint32_t formType = 0; // RIFF and LIST chunks only
    int64_t dataOffset = 0;
};

// Reads chunk headers from the stream's position on, skipping each chunk that
// does not match (sizes rounded up to even, as chunks are word aligned),
// until one has the identifier `id` and, when `formType` is non-zero, that
// form type. With a parent the search stays inside the parent's data. A found
// chunk leaves the position on its data (after the form type of a RIFF or
// LIST chunk). All reads go through the stream, which never reads outside
// its bytes; positions are 64-bit, so no declared size can wrap them.
bool Descend(TMemoryStream& stream, TChunk& chunk, const TChunk* parent, uint32_t id, uint32_t formType) {
    int64_t pos = stream.Position();
    const int64_t end = parent ? parent->dataOffset + parent->size : std::numeric_limits<int64_t>::max();
    if (parent && pos < parent->dataOffset)
        return false;
    while (pos < end) {
        stream.SetPosition(pos);
        uint8_t header[12];
        const size_t n = stream.Read(header, sizeof header);
        if (n < 8)
            return false;
        chunk.id = Le32(header);
        chunk.size = Le32(header + 4);
        chunk.dataOffset = pos + 8;
        const bool hasForm = (chunk.id == kRiff || chunk.id == kList) && n == sizeof header;
        chunk.formType = hasForm ? Le32(header + 8) : 0;
        if (chunk.id == id && (formType == 0 || (hasForm && chunk.formType == formType))) {
            stream.SetPosition(chunk.dataOffset + (hasForm ? 4 : 0));
            return true;
        }
        pos = chunk.dataOffset + ((int64_t{chunk.size} + 1) & ~int64_t{1});
    }
    return false;
}

struct TReading {
    std::unique_ptr<std::byte[]> format;
    size_t formatSize = 0;
    uint32_t dataSize = 0;
    uint32_t dataOffset = 0;
};

bool ReadStructure(TMemoryStream& stream, TReading& out) {
    stream.SetPosition(0);
    TChunk riff;
    if (!Descend(stream, riff, nullptr, kRiff, kWave))
        return false;
    TChunk fmt;
    if (!Descend(stream, fmt, &riff, kFmt, 0))
        return false;
    if (fmt.size < 14)
        return false;
    // A record larger than the bytes that follow could never be read in
    // full; refuse it before allocating what the chunk merely claims.
    const uint64_t available = stream.Size() - static_cast<uint64_t>(stream.Position());
    if (fmt.size > available)
        return false;
    const size_t recordSize = std::max<size_t>(fmt.size, sizeof(TWaveFormatEx));
    auto record = std::make_unique<std::byte[]>(recordSize); // zero-filled
    if (stream.Read(record.get(), fmt.size) < fmt.size)
        return false;
    // The data search starts where the format bytes end; a pad byte after an
    // odd-sized format chunk is not skipped.
    TChunk data;
    if (!Descend(stream, data, &riff, kData, 0))
        return false;
    if (data.dataOffset > std::numeric_limits<uint32_t>::max())
        return false;
    out.format = std::move(record);
    out.formatSize = recordSize;
    out.dataSize = data.size;
    out.dataOffset = static_cast<uint32_t>(data.dataOffset);
    return true;
}

} // namespace

size_t TWaveImage::Write(const void* buffer, size_t count) {
    Changed();
    return TMemoryStream::Write(buffer, count);
}

void TWaveImage::Realloc(size_t newCapacity) {
    Changed();
    TMemoryStream::Realloc(newCapacity);
}

void TWaveImage::Changed() {
    const bool wasRead = !changed_;
    changed_ = true;
    if (wasRead && OnChange)
        OnChange(this);
}

bool TWaveImage::Refresh() {
    if (!changed_)
        return valid_;
    valid_ = false;
    changed_ = false;
    waveFormat_.reset();
    waveFormatSize_ = 0;
    dataSize_ = 0;
    dataOffset_ = 0;
    if (Size() == 0)
        return false;
    // Every reading leaves the position at the start, also when it fails or
    // runs out of memory.
    struct TRewind {
        TMemoryStream& stream;
        ~TRewind() { stream.SetPosition(0); }
    } rewind{*this};
    TReading reading;
    if (ReadStructure(*this, reading)) {
        waveFormat_ = std::move(reading.format);
        waveFormatSize_ = reading.formatSize;
        dataSize_ = reading.dataSize;
        dataOffset_ = reading.dataOffset;
        valid_ = true;
    }
    return valid_;
}

const TWaveFormatEx* TWaveImage::WaveFormat() {
    return Refresh() ? reinterpret_cast<const TWaveFormatEx*>(waveFormat_.get()) : nullptr;
}

size_t TWaveImage::WaveFormatSize() {
    return Refresh() ? waveFormatSize_ : 0;
}

uint32_t TWaveImage::DataSize() {
    return Refresh() ? dataSize_ : 0;
}

uint32_t TWaveImage::DataOffset() {
    return Refresh() ? dataOffset_ : 0;
}

} // namespace tavora::audio
