#include "DownloadSystem/CrcSlicing.h"

namespace DownloadSystem::CrcSlicing
{

namespace
{

uint32_t LoadLittleEndian32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16) |
           (uint32_t(bytes[3]) << 24);
}

} // namespace

void FillSlices(Tables& tables)
{
    const ByteTable& table = tables[0];
    for (size_t k = 1; k < tables.size(); ++k)
    {
        for (size_t i = 0; i < 256; ++i)
            tables[k][i] = (tables[k - 1][i] >> 8) ^ table[tables[k - 1][i] & 0xFF];
    }
}

uint32_t UpdateBytewise(const ByteTable& table, uint32_t reg, const uint8_t* data, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        reg = (reg >> 8) ^ table[(reg ^ data[i]) & 0xFF];
    return reg;
}

uint32_t Update(const Tables& tables, uint32_t reg, const uint8_t* data, size_t length)
{
    // The register is folded into the first four bytes, and each byte's contribution is looked
    // up already advanced past the bytes that follow it.
    while (length >= 8)
    {
        const uint32_t low = LoadLittleEndian32(data) ^ reg;
        const uint32_t high = LoadLittleEndian32(data + 4);
        reg = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF] ^
              tables[4][low >> 24] ^ tables[3][high & 0xFF] ^ tables[2][(high >> 8) & 0xFF] ^
              tables[1][(high >> 16) & 0xFF] ^ tables[0][high >> 24];
        data += 8;
        length -= 8;
    }
    return UpdateBytewise(tables[0], reg, data, length);
}

} // namespace DownloadSystem::CrcSlicing
