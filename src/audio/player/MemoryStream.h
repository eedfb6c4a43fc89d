#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

class QIODevice;

namespace tavora::audio {

class StreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class SeekOrigin { Beginning, Current, End };

// A growable block of memory read, written and positioned like a file.
// Every change of the block's capacity goes through realloc, which a
// subclass may override to observe it.
class MemoryStream {
public:
    MemoryStream() = default;
    virtual ~MemoryStream();
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    // Copies up to `count` bytes from the position on and moves past them.
    size_t read(void* buffer, size_t count);
    // Writes `count` bytes at the position, growing the block as needed.
    virtual size_t write(const void* buffer, size_t count);
    // Answers the new position; a position before the start becomes 0.
    int64_t seek(int64_t offset, SeekOrigin origin);

    int64_t position() const { return position_; }
    void setPosition(int64_t position) { seek(position, SeekOrigin::Beginning); }
    size_t size() const { return size_; }
    void setSize(size_t size);
    size_t capacity() const { return capacity_; }
    void setCapacity(size_t capacity);
    void clear();

    const std::byte* memory() const { return memory_; }
    std::byte* memory() { return memory_; }

    // Replaces the contents with all bytes of `source` (from its start) or of
    // the buffer; the position becomes 0.
    void loadFromStream(const MemoryStream& source);
    void loadFromBuffer(const void* data, size_t count);
    // Reads `device` from its start to its end. Throws StreamError when the
    // device cannot be read completely.
    void loadFromStream(QIODevice& device);

protected:
    // Moves the contents to a block of `newCapacity` bytes (0 frees it). The
    // old block is released. Throws std::bad_alloc when memory runs out.
    virtual void realloc(size_t newCapacity);

private:
    std::byte* memory_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    int64_t position_ = 0;
};

} // namespace tavora::audio
