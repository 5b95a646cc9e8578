#include "Core/ByteBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace nd
{

ByteBuffer::ByteBuffer(size_t n, bool zero)
{
    if (n == 0)
        return;
    data = static_cast<uint8_t*>(zero ? std::calloc(n, 1) : std::malloc(n));
    if (data)
        size = capacity = n;
}

ByteBuffer::ByteBuffer(const ByteBuffer& other)
{
    if (other.size == 0 || other.data == nullptr)
        return;
    data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(other.size)));
    if (!data)
        return;
    std::memcpy(data, other.data, static_cast<size_t>(other.size));
    size = capacity = other.size;
}

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other)
{
    if (this == &other)
        return *this;
    if (other.size == 0 || other.data == nullptr)
    {
        Free();
        return *this;
    }
    ByteBuffer copy(other);
    if (copy.size == other.size)
        *this = std::move(copy);
    return *this;
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept : data(other.data), size(other.size), capacity(other.capacity)
{
    other.data = nullptr;
    other.size = other.capacity = 0;
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept
{
    if (this != &other)
    {
        std::free(data);
        data = other.data;
        size = other.size;
        capacity = other.capacity;
        other.data = nullptr;
        other.size = other.capacity = 0;
    }
    return *this;
}

ByteBuffer::~ByteBuffer()
{
    std::free(data);
}

bool ByteBuffer::Allocate(size_t n)
{
    Free();
    if (n == 0)
        return true;
    data = static_cast<uint8_t*>(std::malloc(n));
    if (!data)
        return false;
    size = capacity = n;
    return true;
}

bool ByteBuffer::Resize(size_t n)
{
    if (n == 0)
    {
        // realloc(p, 0) may or may not free; be explicit.
        Free();
        return true;
    }
    auto* grown = static_cast<uint8_t*>(std::realloc(data, n));
    if (!grown)
        return false;
    data = grown;
    size = capacity = n;
    return true;
}

bool ByteBuffer::Reserve(size_t total)
{
    if (total <= capacity)
        return true;
    // Doubling keeps the copies of a buffer built from many small pieces to about its final
    // size in all; when the doubled block is not to be had, the exact one may still be.
    const size_t doubled = capacity > std::numeric_limits<size_t>::max() / 2 ? total : 2 * capacity;
    for (const size_t wanted : {std::max(total, doubled), total})
    {
        if (auto* grown = static_cast<uint8_t*>(std::realloc(data, wanted)))
        {
            data = grown;
            capacity = wanted;
            return true;
        }
    }
    return false;
}

void ByteBuffer::Free()
{
    std::free(data);
    data = nullptr;
    size = capacity = 0;
}

bool ByteBuffer::Assign(const ByteBuffer& other)
{
    if (this == &other || other.size == 0 || other.data == nullptr)
        return true;
    if (!Allocate(static_cast<size_t>(other.size)))
        return false;
    std::memcpy(data, other.data, static_cast<size_t>(other.size));
    return true;
}

bool ByteBuffer::Append(const ByteBuffer& other)
{
    if (this == &other)
    {
        ByteBuffer copy(other);
        if (copy.size != other.size)
            return false;
        return Append(copy.data, static_cast<size_t>(copy.size));
    }
    return Append(other.data, static_cast<size_t>(other.size));
}

bool ByteBuffer::Append(const void* bytes, size_t n)
{
    if (n == 0)
        return true;
    if (bytes == nullptr || n > std::numeric_limits<size_t>::max() - size)
        return false;
    const size_t oldSize = static_cast<size_t>(size);
    if (!Reserve(oldSize + n))
        return false;
    std::memcpy(data + oldSize, bytes, n);
    size = oldSize + n;
    return true;
}

bool ByteBuffer::Append(const std::string& text)
{
    return Append(text.data(), text.size());
}

bool ByteBuffer::Append(const std::u16string& text)
{
    if (text.empty())
        return true;
    if (text.size() > std::numeric_limits<size_t>::max() / 2)
        return false;
    const size_t oldSize = static_cast<size_t>(size);
    if (text.size() * 2 > std::numeric_limits<size_t>::max() - oldSize || !Reserve(oldSize + text.size() * 2))
        return false;
    uint8_t* out = data + oldSize;
    for (char16_t unit : text)
    {
        *out++ = static_cast<uint8_t>(unit & 0xFF);
        *out++ = static_cast<uint8_t>(unit >> 8);
    }
    size = oldSize + text.size() * 2;
    return true;
}

void ByteBuffer::Zero()
{
    if (data && size)
        std::memset(data, 0, static_cast<size_t>(size));
}

} // namespace nd
