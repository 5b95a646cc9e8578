#include "DownloadSystem/CRC.h"

namespace DownloadSystem
{

namespace
{

constexpr uint32_t kPolynomial = 0x04C11DB7;

uint32_t LoadLittleEndian32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16) | (uint32_t(bytes[3]) << 24);
}

} // namespace

void CRC::Init()
{
    std::array<uint32_t, 256>& table = slices[0];
    for (uint32_t i = 0; i < 256; ++i)
    {
        uint32_t value = Reflect(i, 8) << 24;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : value << 1;
        table[i] = Reflect(value, 32);
    }
    for (size_t k = 1; k < slices.size(); ++k)
    {
        for (size_t i = 0; i < 256; ++i)
            slices[k][i] = (slices[k - 1][i] >> 8) ^ table[slices[k - 1][i] & 0xFF];
    }
    initialised = true;
}

uint32_t CRC::Compute(const uint8_t* data, int32_t length)
{
    if (data == nullptr || length <= 0)
        return 0;
    return Extend(0, data, static_cast<size_t>(length));
}

uint32_t CRC::Extend(uint32_t previousCrc, const uint8_t* data, size_t length)
{
    if (data == nullptr || length == 0)
        return previousCrc;
    if (!initialised)
        Init();
    return ~UpdateRegister(~previousCrc, data, length);
}

uint32_t CRC::Reflect(uint32_t value, int bits)
{
    if (bits <= 0)
        return 0;
    if (bits > 32)
        bits = 32;
    uint32_t reflected = 0;
    for (int i = 0; i < bits; ++i)
    {
        if (value & (uint32_t(1) << i))
            reflected |= uint32_t(1) << (bits - 1 - i);
    }
    return reflected;
}

uint32_t CRC::UpdateRegister(uint32_t reg, const uint8_t* data, size_t length) const
{
    // The place to choose a faster method (e.g. carry-less multiplication) when the processor
    // offers one; short inputs are not worth any set-up.
    if (length < 16)
        return UpdateBytewise(reg, data, length);
    return UpdateSliceBy8(reg, data, length);
}

uint32_t CRC::UpdateBytewise(uint32_t reg, const uint8_t* data, size_t length) const
{
    const std::array<uint32_t, 256>& table = slices[0];
    for (size_t i = 0; i < length; ++i)
        reg = (reg >> 8) ^ table[(reg ^ data[i]) & 0xFF];
    return reg;
}

uint32_t CRC::UpdateSliceBy8(uint32_t reg, const uint8_t* data, size_t length) const
{
    // Eight bytes per step: the register is folded into the first four, and each byte's
    // contribution is looked up already advanced past the bytes that follow it.
    while (length >= 8)
    {
        uint32_t low = LoadLittleEndian32(data) ^ reg;
        uint32_t high = LoadLittleEndian32(data + 4);
        reg = slices[7][low & 0xFF] ^ slices[6][(low >> 8) & 0xFF] ^ slices[5][(low >> 16) & 0xFF] ^
              slices[4][low >> 24] ^ slices[3][high & 0xFF] ^ slices[2][(high >> 8) & 0xFF] ^
              slices[1][(high >> 16) & 0xFF] ^ slices[0][high >> 24];
        data += 8;
        length -= 8;
    }
    return UpdateBytewise(reg, data, length);
}

} // namespace DownloadSystem
