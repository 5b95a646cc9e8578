#include "DownloadSystem/CrcClmul.h"

#include <algorithm>
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

// Data is fetched this far ahead of the folding: the hardware prefetcher alone leaves the
// multipliers waiting on memory for inputs that are not in the cache.
constexpr size_t kPrefetchDistance = 2048;
// Below this many 16-byte blocks the eight lanes' set-up and reduction cost more than they save.
constexpr size_t kEightLaneBlocks = 16;

#define NORVIA_CLMUL_TARGET __attribute__((target("pclmul,sse2")))
#define NORVIA_CLMUL_WIDE_TARGET __attribute__((target("pclmul,sse2,avx512f,vpclmulqdq")))

NORVIA_CLMUL_TARGET inline __m128i Load(const uint8_t* data)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
}

// The pair that moves a block forward by Distance bits (the low half's multiplier first).
template <unsigned Distance> NORVIA_CLMUL_TARGET inline __m128i Multipliers()
{
    constexpr uint64_t low = Multiplier(Distance + 32);
    constexpr uint64_t high = Multiplier(Distance - 32);
    return _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
}

// Moves block forward by the distance that multipliers stand for and adds it to next.
NORVIA_CLMUL_TARGET inline __m128i Fold(__m128i block, __m128i multipliers, __m128i next)
{
    const __m128i low = _mm_clmulepi64_si128(block, multipliers, 0x00);
    const __m128i high = _mm_clmulepi64_si128(block, multipliers, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// The register over one block, whose remainder is the register over everything folded into it.
NORVIA_CLMUL_TARGET uint32_t Remainder(__m128i block)
{
    alignas(16) uint8_t rest[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), block);
    return UpdateBytewise(0, rest, sizeof(rest));
}

// Four lanes folded by 512 bits per step: for inputs of 4 to 15 blocks.
NORVIA_CLMUL_TARGET uint32_t FoldFourLanes(uint32_t reg, const uint8_t* data, size_t blocks)
{
    __m128i lane0 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i lane1 = Load(data + 16);
    __m128i lane2 = Load(data + 32);
    __m128i lane3 = Load(data + 48);
    data += 64;
    blocks -= 4;

    const __m128i by512 = Multipliers<512>();
    for (; blocks >= 4; blocks -= 4, data += 64)
    {
        lane0 = Fold(lane0, by512, Load(data));
        lane1 = Fold(lane1, by512, Load(data + 16));
        lane2 = Fold(lane2, by512, Load(data + 32));
        lane3 = Fold(lane3, by512, Load(data + 48));
    }

    const __m128i by128 = Multipliers<128>();
    __m128i folded = Fold(lane0, by128, lane1);
    folded = Fold(folded, by128, lane2);
    folded = Fold(folded, by128, lane3);
    for (; blocks > 0; --blocks, data += 16)
        folded = Fold(folded, by128, Load(data));
    return Remainder(folded);
}

// At least 16 blocks of 16 bytes. Eight independent lanes, each moved 1024 bits forward per
// step: a lane's product takes several cycles to come out, and with fewer lanes the multiplier
// waits for it instead of starting the next. At the end every lane moves forward by its distance
// to the last one, independently of the others, and the leftover blocks follow.
NORVIA_CLMUL_TARGET uint32_t FoldEightLanes(uint32_t reg, const uint8_t* data, size_t blocks)
{
    __m128i lane0 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i lane1 = Load(data + 16);
    __m128i lane2 = Load(data + 32);
    __m128i lane3 = Load(data + 48);
    __m128i lane4 = Load(data + 64);
    __m128i lane5 = Load(data + 80);
    __m128i lane6 = Load(data + 96);
    __m128i lane7 = Load(data + 112);
    data += 128;
    blocks -= 8;

    const __m128i by1024 = Multipliers<1024>();
    for (; blocks >= 8; blocks -= 8, data += 128)
    {
        _mm_prefetch(reinterpret_cast<const char*>(data + kPrefetchDistance), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(data + kPrefetchDistance + 64), _MM_HINT_T0);
        lane0 = Fold(lane0, by1024, Load(data));
        lane1 = Fold(lane1, by1024, Load(data + 16));
        lane2 = Fold(lane2, by1024, Load(data + 32));
        lane3 = Fold(lane3, by1024, Load(data + 48));
        lane4 = Fold(lane4, by1024, Load(data + 64));
        lane5 = Fold(lane5, by1024, Load(data + 80));
        lane6 = Fold(lane6, by1024, Load(data + 96));
        lane7 = Fold(lane7, by1024, Load(data + 112));
    }

    // The products do not wait for one another; only the additions follow in a row.
    __m128i folded = Fold(lane6, Multipliers<128>(), lane7);
    folded = Fold(lane5, Multipliers<256>(), folded);
    folded = Fold(lane4, Multipliers<384>(), folded);
    folded = Fold(lane3, Multipliers<512>(), folded);
    folded = Fold(lane2, Multipliers<640>(), folded);
    folded = Fold(lane1, Multipliers<768>(), folded);
    folded = Fold(lane0, Multipliers<896>(), folded);
    const __m128i by128 = Multipliers<128>();
    for (; blocks > 0; --blocks, data += 16)
        folded = Fold(folded, by128, Load(data));
    return Remainder(folded);
}

// The same pair in each 128-bit quarter.
template <unsigned Distance> NORVIA_CLMUL_WIDE_TARGET inline __m512i WideMultipliers()
{
    constexpr auto low = static_cast<long long>(Multiplier(Distance + 32));
    constexpr auto high = static_cast<long long>(Multiplier(Distance - 32));
    return _mm512_set_epi64(high, low, high, low, high, low, high, low);
}

NORVIA_CLMUL_WIDE_TARGET inline __m512i LoadWide(const uint8_t* data)
{
    return _mm512_loadu_si512(data);
}

// Each 128-bit quarter folded as in Fold; the three-way XOR is one instruction.
NORVIA_CLMUL_WIDE_TARGET inline __m512i FoldQuarters(__m512i block, __m512i multipliers, __m512i next)
{
    const __m512i low = _mm512_clmulepi64_epi128(block, multipliers, 0x00);
    const __m512i high = _mm512_clmulepi64_epi128(block, multipliers, 0x11);
    return _mm512_ternarylogic_epi64(low, high, next, 0x96);
}

// At least 16 blocks of 16 bytes: four 64-byte lanes advance 256 bytes per step, then fold
// into one lane, whose quarters fold into one block.
NORVIA_CLMUL_WIDE_TARGET uint32_t FoldWide(uint32_t reg, const uint8_t* data, size_t blocks)
{
    __m512i lane0 = _mm512_xor_si512(LoadWide(data), _mm512_set_epi64(0, 0, 0, 0, 0, 0, 0, reg));
    __m512i lane1 = LoadWide(data + 64);
    __m512i lane2 = LoadWide(data + 128);
    __m512i lane3 = LoadWide(data + 192);
    data += 256;
    blocks -= 16;

    const __m512i by2048 = WideMultipliers<2048>();
    for (; blocks >= 16; blocks -= 16, data += 256)
    {
        for (size_t line = 0; line < 256; line += 64)
            _mm_prefetch(reinterpret_cast<const char*>(data + kPrefetchDistance + line), _MM_HINT_T0);
        lane0 = FoldQuarters(lane0, by2048, LoadWide(data));
        lane1 = FoldQuarters(lane1, by2048, LoadWide(data + 64));
        lane2 = FoldQuarters(lane2, by2048, LoadWide(data + 128));
        lane3 = FoldQuarters(lane3, by2048, LoadWide(data + 192));
    }

    const __m512i by512 = WideMultipliers<512>();
    __m512i lane = FoldQuarters(lane0, by512, lane1);
    lane = FoldQuarters(lane, by512, lane2);
    lane = FoldQuarters(lane, by512, lane3);
    for (; blocks >= 4; blocks -= 4, data += 64)
        lane = FoldQuarters(lane, by512, LoadWide(data));

    alignas(64) uint8_t quarters[64];
    _mm512_store_si512(quarters, lane);
    const __m128i by128 = Multipliers<128>();
    __m128i folded = Fold(Load(quarters), by128, Load(quarters + 16));
    folded = Fold(folded, by128, Load(quarters + 32));
    folded = Fold(folded, by128, Load(quarters + 48));
    for (; blocks > 0; --blocks, data += 16)
        folded = Fold(folded, by128, Load(data));
    return Remainder(folded);
}

unsigned DetectWidth()
{
    if (!__builtin_cpu_supports("pclmul") || !__builtin_cpu_supports("sse2"))
        return kNone;
    // The check of avx512f includes the system saving the 512-bit registers.
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq"))
        return kWide;
    return kNarrow;
}

#endif

} // namespace

unsigned SupportedWidth()
{
#ifdef NORVIA_CRC_CLMUL
    static const unsigned width = DetectWidth();
    return width;
#else
    return kNone;
#endif
}

uint32_t Update(uint32_t reg, const uint8_t* data, size_t length, unsigned maxWidth)
{
#ifdef NORVIA_CRC_CLMUL
    const unsigned width = std::min(maxWidth, SupportedWidth());
    const size_t blocks = length / 16;
    if (width >= kWide && length >= 256)
        reg = FoldWide(reg, data, blocks);
    else if (width >= kNarrow && blocks >= kEightLaneBlocks)
        reg = FoldEightLanes(reg, data, blocks);
    else if (width >= kNarrow && length >= kMinLength)
        reg = FoldFourLanes(reg, data, blocks);
    else
        return UpdateBytewise(reg, data, length);
    data += blocks * 16;
    length -= blocks * 16;
#else
    (void)maxWidth;
#endif
    return UpdateBytewise(reg, data, length);
}

} // namespace DownloadSystem::CrcClmul
