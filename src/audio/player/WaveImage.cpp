#include "audio/player/WaveImage.h"

#include <algorithm>
#include <limits>

namespace tavora::audio {

namespace {

constexpr uint32_t fourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

constexpr uint32_t Riff = fourCC("RIFF");
constexpr uint32_t List = fourCC("LIST");
constexpr uint32_t Wave = fourCC("WAVE");
constexpr uint32_t Fmt = fourCC("fmt ");
constexpr uint32_t Data = fourCC("data");

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct Chunk {
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
bool descend(MemoryStream& stream, Chunk& chunk, const Chunk* parent, uint32_t id, uint32_t formType) {
    int64_t pos = stream.position();
    const int64_t end = parent ? parent->dataOffset + parent->size : std::numeric_limits<int64_t>::max();
    if (parent && pos < parent->dataOffset)
        return false;
    while (pos < end) {
        stream.setPosition(pos);
        uint8_t header[12];
        const size_t n = stream.read(header, sizeof header);
        if (n < 8)
            return false;
        chunk.id = le32(header);
        chunk.size = le32(header + 4);
        chunk.dataOffset = pos + 8;
        const bool hasForm = (chunk.id == Riff || chunk.id == List) && n == sizeof header;
        chunk.formType = hasForm ? le32(header + 8) : 0;
        if (chunk.id == id && (formType == 0 || (hasForm && chunk.formType == formType))) {
            stream.setPosition(chunk.dataOffset + (hasForm ? 4 : 0));
            return true;
        }
        pos = chunk.dataOffset + ((int64_t{chunk.size} + 1) & ~int64_t{1});
    }
    return false;
}

struct Reading {
    std::unique_ptr<std::byte[]> format;
    size_t formatSize = 0;
    uint32_t dataSize = 0;
    uint32_t dataOffset = 0;
};

bool readStructure(MemoryStream& stream, Reading& out) {
    stream.setPosition(0);
    Chunk riff;
    if (!descend(stream, riff, nullptr, Riff, Wave))
        return false;
    Chunk fmt;
    if (!descend(stream, fmt, &riff, Fmt, 0))
        return false;
    if (fmt.size < 14)
        return false;
    // A record larger than the bytes that follow could never be read in
    // full; refuse it before allocating what the chunk merely claims.
    const uint64_t available = stream.size() - static_cast<uint64_t>(stream.position());
    if (fmt.size > available)
        return false;
    const size_t recordSize = std::max<size_t>(fmt.size, sizeof(WaveFormatEx));
    auto record = std::make_unique<std::byte[]>(recordSize); // zero-filled
    if (stream.read(record.get(), fmt.size) < fmt.size)
        return false;
    // The data search starts where the format bytes end; a pad byte after an
    // odd-sized format chunk is not skipped.
    Chunk data;
    if (!descend(stream, data, &riff, Data, 0))
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

size_t WaveImage::write(const void* buffer, size_t count) {
    changed();
    return MemoryStream::write(buffer, count);
}

void WaveImage::realloc(size_t newCapacity) {
    changed();
    MemoryStream::realloc(newCapacity);
}

void WaveImage::changed() {
    const bool wasRead = !changed_;
    changed_ = true;
    if (wasRead && onChange)
        onChange(this);
}

bool WaveImage::refresh() {
    if (!changed_)
        return valid_;
    valid_ = false;
    changed_ = false;
    waveFormat_.reset();
    waveFormatSize_ = 0;
    dataSize_ = 0;
    dataOffset_ = 0;
    if (size() == 0)
        return false;
    // Every reading leaves the position at the start, also when it fails or
    // runs out of memory.
    struct Rewind {
        MemoryStream& stream;
        ~Rewind() { stream.setPosition(0); }
    } rewind{*this};
    Reading reading;
    if (readStructure(*this, reading)) {
        waveFormat_ = std::move(reading.format);
        waveFormatSize_ = reading.formatSize;
        dataSize_ = reading.dataSize;
        dataOffset_ = reading.dataOffset;
        valid_ = true;
    }
    return valid_;
}

const WaveFormatEx* WaveImage::waveFormat() {
    return refresh() ? reinterpret_cast<const WaveFormatEx*>(waveFormat_.get()) : nullptr;
}

size_t WaveImage::waveFormatSize() {
    return refresh() ? waveFormatSize_ : 0;
}

uint32_t WaveImage::dataSize() {
    return refresh() ? dataSize_ : 0;
}

uint32_t WaveImage::dataOffset() {
    return refresh() ? dataOffset_ : 0;
}

} // namespace tavora::audio
