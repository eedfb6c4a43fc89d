#include "audio/player/MemoryStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace tavora::audio {

namespace {
constexpr size_t GrowthQuantum = 8192;
} // namespace

MemoryStream::~MemoryStream() {
    std::free(memory_);
}

void MemoryStream::realloc(size_t newCapacity) {
    if (newCapacity == capacity_)
        return;
    if (newCapacity == 0) {
        std::free(memory_);
        memory_ = nullptr;
    } else {
        auto* block = static_cast<std::byte*>(std::realloc(memory_, newCapacity));
        if (block == nullptr)
            throw std::bad_alloc();
        memory_ = block;
    }
    capacity_ = newCapacity;
    size_ = std::min(size_, capacity_);
}

size_t MemoryStream::read(void* buffer, size_t count) {
    if (position_ < 0 || static_cast<uint64_t>(position_) >= size_)
        return 0;
    const size_t n = std::min(count, size_ - static_cast<size_t>(position_));
    if (n != 0)
        std::memcpy(buffer, memory_ + position_, n);
    position_ += static_cast<int64_t>(n);
    return n;
}

size_t MemoryStream::write(const void* buffer, size_t count) {
    if (position_ < 0)
        return 0;
    const auto pos = static_cast<size_t>(position_);
    if (count > std::numeric_limits<size_t>::max() - pos)
        throw std::bad_alloc();
    const size_t end = pos + count;
    if (end > size_) {
        if (end > capacity_) {
            size_t grown = std::max(end, capacity_ + capacity_ / 4);
            grown = (grown + GrowthQuantum - 1) / GrowthQuantum * GrowthQuantum;
            realloc(grown);
        }
        // Writing past the end leaves a gap of zeros, not stale bytes.
        if (pos > size_)
            std::memset(memory_ + size_, 0, pos - size_);
        size_ = end;
    }
    if (count != 0)
        std::memcpy(memory_ + pos, buffer, count);
    position_ = static_cast<int64_t>(end);
    return count;
}

int64_t MemoryStream::seek(int64_t offset, SeekOrigin origin) {
    int64_t base = 0;
    if (origin == SeekOrigin::Current)
        base = position_;
    else if (origin == SeekOrigin::End)
        base = static_cast<int64_t>(size_);
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target))
        target = offset < 0 ? 0 : std::numeric_limits<int64_t>::max();
    position_ = std::max<int64_t>(target, 0);
    return position_;
}

void MemoryStream::setSize(size_t size) {
    realloc(size);
    size_ = size;
    if (static_cast<uint64_t>(position_) > size_)
        position_ = static_cast<int64_t>(size_);
}

void MemoryStream::setCapacity(size_t capacity) {
    realloc(capacity);
}

void MemoryStream::clear() {
    realloc(0);
    size_ = 0;
    position_ = 0;
}

void MemoryStream::loadFromStream(const MemoryStream& source) {
    loadFromBuffer(source.memory_, source.size_);
}

void MemoryStream::loadFromBuffer(const void* data, size_t count) {
    setSize(count);
    if (count != 0)
        std::memcpy(memory_, data, count);
    position_ = 0;
}

} // namespace tavora::audio
