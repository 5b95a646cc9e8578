#include "DownloadSystem/CRC.h"

#include "DownloadSystem/CrcClmul.h"
#include "DownloadSystem/CrcSlicing.h"

namespace DownloadSystem
{

namespace
{

constexpr uint32_t kPolynomial = 0x04C11DB7;

// Built once per process: every object's table is the same, and a download makes several.
const CrcSlicing::Tables& BuiltTables()
{
    static const CrcSlicing::Tables tables = []
    {
        CrcSlicing::Tables built{};
        for (uint32_t i = 0; i < 256; ++i)
        {
            uint32_t value = CRC::Reflect(i, 8) << 24;
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : value << 1;
            built[0][i] = CRC::Reflect(value, 32);
        }
        CrcSlicing::FillSlices(built);
        return built;
    }();
    return tables;
}

} // namespace

void CRC::Init()
{
    slices = BuiltTables();
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
    if (length >= CrcClmul::kMinLength && CrcClmul::Supported())
        return CrcClmul::Update(reg, data, length);
    return CrcSlicing::Update(slices, reg, data, length);
}

} // namespace DownloadSystem
