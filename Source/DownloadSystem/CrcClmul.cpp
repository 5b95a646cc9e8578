#include "DownloadSystem/CrcClmul.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define NORVIA_CRC_CLMUL 1
#endif

namespace DownloadSystem::CrcClmul
{

namespace
{

constexpr uint32_t kPolynomial = 0x04C11DB7;
constexpr uint32_t kReflectedPolynomial = 0xEDB88320;

// x^n modulo the polynomial, unreflected (bit 31 is x^31).
constexpr uint32_t PowerOfX(unsigned n)
{
    uint32_t value = 1;
    for (unsigned i = 0; i < n; ++i)
        value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : value << 1;
    return value;
}

constexpr uint32_t Reverse32(uint32_t value)
{
    uint32_t reversed = 0;
    for (int i = 0; i < 32; ++i)
        reversed |= ((value >> i) & 1u) << (31 - i);
    return reversed;
}

// In the reflected register, bit i of a 16-byte block stands for x^(127 - i), and each 64-bit
// half of it is one factor of a carry-less product. The product of a half with this 33-bit
// form of x^n comes out as the half times x^(n + 32), already in the block's bit order, so
// moving a half forward by d bits takes x^(d + 32) for the first (low) half and x^(d - 32) for
// the second (high) half, which already stands 64 bits further on.
constexpr uint64_t Multiplier(unsigned n)
{
    return uint64_t{Reverse32(PowerOfX(n))} << 1;
}

constexpr uint64_t kFold512Low = Multiplier(512 + 32);
constexpr uint64_t kFold512High = Multiplier(512 - 32);
constexpr uint64_t kFold128Low = Multiplier(128 + 32);
constexpr uint64_t kFold128High = Multiplier(128 - 32);

constexpr std::array<uint32_t, 256> MakeByteTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i)
    {
        uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1u) ? (value >> 1) ^ kReflectedPolynomial : value >> 1;
        table[i] = value;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kByteTable = MakeByteTable();
static_assert(kByteTable[1] == 0x77073096u && kByteTable[255] == 0x2D02EF8Du);

uint32_t UpdateBytewise(uint32_t reg, const uint8_t* data, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        reg = (reg >> 8) ^ kByteTable[(reg ^ data[i]) & 0xFF];
    return reg;
}

#ifdef NORVIA_CRC_CLMUL

#define NORVIA_CLMUL_TARGET __attribute__((target("pclmul,sse2")))

NORVIA_CLMUL_TARGET inline __m128i Load(const uint8_t* data)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
}

// Moves block forward by the distance that multipliers stand for and adds it to next.
NORVIA_CLMUL_TARGET inline __m128i Fold(__m128i block, __m128i multipliers, __m128i next)
{
    const __m128i low = _mm_clmulepi64_si128(block, multipliers, 0x00);
    const __m128i high = _mm_clmulepi64_si128(block, multipliers, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// blocks >= 4 blocks of 16 bytes. Four independent lanes hide the multiplier's latency; at
// the end they and the leftover blocks are folded into one block, whose remainder (the CRC
// register started from zero over its 16 bytes) is the register over the whole input.
NORVIA_CLMUL_TARGET uint32_t FoldBlocks(uint32_t reg, const uint8_t* data, size_t blocks)
{
    __m128i lane0 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i lane1 = Load(data + 16);
    __m128i lane2 = Load(data + 32);
    __m128i lane3 = Load(data + 48);
    data += 64;
    blocks -= 4;

    const __m128i by512 =
        _mm_set_epi64x(static_cast<long long>(kFold512High), static_cast<long long>(kFold512Low));
    while (blocks >= 4)
    {
        lane0 = Fold(lane0, by512, Load(data));
        lane1 = Fold(lane1, by512, Load(data + 16));
        lane2 = Fold(lane2, by512, Load(data + 32));
        lane3 = Fold(lane3, by512, Load(data + 48));
        data += 64;
        blocks -= 4;
    }

    const __m128i by128 =
        _mm_set_epi64x(static_cast<long long>(kFold128High), static_cast<long long>(kFold128Low));
    __m128i folded = Fold(lane0, by128, lane1);
    folded = Fold(folded, by128, lane2);
    folded = Fold(folded, by128, lane3);
    for (; blocks > 0; --blocks, data += 16)
        folded = Fold(folded, by128, Load(data));

    alignas(16) uint8_t rest[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), folded);
    return UpdateBytewise(0, rest, sizeof(rest));
}

#endif

} // namespace

bool Supported()
{
#ifdef NORVIA_CRC_CLMUL
    static const bool supported = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
    return supported;
#else
    return false;
#endif
}

uint32_t Update(uint32_t reg, const uint8_t* data, size_t length)
{
#ifdef NORVIA_CRC_CLMUL
    if (length >= kMinLength && Supported())
    {
        const size_t blocks = length / 16;
        reg = FoldBlocks(reg, data, blocks);
        data += blocks * 16;
        length -= blocks * 16;
    }
#endif
    return UpdateBytewise(reg, data, length);
}

} // namespace DownloadSystem::CrcClmul
