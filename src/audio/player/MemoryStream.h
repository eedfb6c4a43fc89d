#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

class QIODevice;

namespace tavora::audio {

class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// A growable block of memory read, written and positioned like a file.
// Every change of the block's capacity goes through Realloc, which a
// subclass may override to observe it.
class TMemoryStream {
public:
    TMemoryStream() = default;
    virtual ~TMemoryStream();
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    // Copies up to `count` bytes from the position on and moves past them.
    size_t Read(void* buffer, size_t count);
    // Writes `count` bytes at the position, growing the block as needed.
    virtual size_t Write(const void* buffer, size_t count);
    // Answers the new position; a position before the start becomes 0.
    int64_t Seek(int64_t offset, TSeekOrigin origin);

    int64_t Position() const { return position_; }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
    size_t Size() const { return size_; }
    void SetSize(size_t size);
    size_t Capacity() const { return capacity_; }
    void SetCapacity(size_t capacity);
    void Clear();

    const std::byte* Memory() const { return memory_; }
    std::byte* Memory() { return memory_; }

    // Replaces the contents with all bytes of `source` (from its start) or of
    // the buffer; the position becomes 0.
    void LoadFromStream(const TMemoryStream& source);
    void LoadFromBuffer(const void* data, size_t count);
    // Reads `device` from its start to its end. Throws EStreamError when the
    // device cannot be read completely.
    void LoadFromStream(QIODevice& device);

protected:
    // Moves the contents to a block of `newCapacity` bytes (0 frees it). The
    // old block is released. Throws std::bad_alloc when memory runs out.
    virtual void Realloc(size_t newCapacity);

private:
    std::byte* memory_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    int64_t position_ = 0;
};

} // namespace tavora::audio
