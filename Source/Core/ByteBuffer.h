#pragma once
// An owned block of raw bytes from the C allocator (file contents, downloaded data, digests,
// request bodies). No terminator is kept. When the allocator cannot provide a block, the
// operation returns false and the buffer keeps a size that matches what it really holds.
// Appending grows the block geometrically (answers arrive in 1 KiB pieces, up to megabytes), so
// the block may be larger than the content; every other operation leaves a block of exactly
// the content's size.

#include <cstddef>
#include <cstdint>
#include <string>

namespace nd
{

class ByteBuffer
{
public:
    // Allocates n bytes (none for 0), zero-filled when zero is set.
    explicit ByteBuffer(size_t n = 0, bool zero = false);
    ByteBuffer(const ByteBuffer& other);
    ByteBuffer& operator=(const ByteBuffer& other);
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ~ByteBuffer();

    // Frees the old block and allocates n fresh bytes with undefined content. On failure the
    // buffer is left empty.
    bool Allocate(size_t n);
    // Keeps the first min(old, n) bytes; new bytes are undefined. On failure nothing changes.
    bool Resize(size_t n);
    void Free();
    // Copies other's content; an empty other leaves this buffer unchanged (it is not emptied).
    bool Assign(const ByteBuffer& other);

    // Each Append leaves the buffer unchanged when it fails.
    bool Append(const ByteBuffer& other);
    bool Append(const void* bytes, size_t n);
    bool Append(const std::string& text);
    // The code units as two bytes each, little-endian.
    bool Append(const std::u16string& text);

    void Zero();

    // Null when the buffer is empty and was never allocated.
    uint8_t* Data() const { return data; }
    uint64_t Size() const { return size; }
    // Bytes the block has room for: at least Size().
    uint64_t Capacity() const { return capacity; }

private:
    // Makes room for total bytes, keeping the content; false (nothing changed) when it cannot.
    bool Reserve(size_t total);

    uint8_t* data = nullptr;
    uint64_t size = 0;
    uint64_t capacity = 0;
};

} // namespace nd
