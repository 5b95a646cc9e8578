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

// Multipliers that move a block forward by 128, 256, ... 1024 bits (index 1 to 8), for the lanes.
constexpr std::array<uint64_t, 9> MakeLaneMultipliers(int half)
{
    std::array<uint64_t, 9> multipliers{};
    for (unsigned step = 1; step < multipliers.size(); ++step)
        multipliers[step] = half == 0 ? Multiplier(step * 128 + 32) : Multiplier(step * 128 - 32);
    return multipliers;
}
constexpr std::array<uint64_t, 9> kLowMultipliers = MakeLaneMultipliers(0);
constexpr std::array<uint64_t, 9> kHighMultipliers = MakeLaneMultipliers(1);

NORVIA_CLMUL_TARGET inline __m128i LaneMultipliers(size_t steps)
{
    return _mm_set_epi64x(static_cast<long long>(kHighMultipliers[steps]),
                          static_cast<long long>(kLowMultipliers[steps]));
}

// At least Lanes blocks of 16 bytes. Independent lanes, each moved Lanes blocks forward per
// step: a product takes several cycles to come out, and with too few lanes the multiplier waits
// for it instead of starting the next one. At the end every lane moves forward by its distance to
// the last one, products that do not wait for one another, and the leftover blocks follow.
template <size_t Lanes> NORVIA_CLMUL_TARGET uint32_t FoldLanes(uint32_t reg, const uint8_t* data, size_t blocks)
{
    static_assert(Lanes >= 2 && Lanes < kLowMultipliers.size());
    constexpr size_t kStride = 16 * Lanes;
    __m128i lanes[Lanes];
#pragma GCC unroll 8
    for (size_t lane = 0; lane < Lanes; ++lane)
        lanes[lane] = Load(data + 16 * lane);
    lanes[0] = _mm_xor_si128(lanes[0], _mm_cvtsi32_si128(static_cast<int>(reg)));
    data += kStride;
    blocks -= Lanes;

    const __m128i step = LaneMultipliers(Lanes);
    for (; blocks >= Lanes; blocks -= Lanes, data += kStride)
    {
#pragma GCC unroll 8
        for (size_t line = 0; line < kStride; line += 64)
            _mm_prefetch(reinterpret_cast<const char*>(data + kPrefetchDistance + line), _MM_HINT_T0);
#pragma GCC unroll 8
        for (size_t lane = 0; lane < Lanes; ++lane)
            lanes[lane] = Fold(lanes[lane], step, Load(data + 16 * lane));
    }

    __m128i folded = lanes[Lanes - 1];
#pragma GCC unroll 8
    for (size_t lane = 0; lane + 1 < Lanes; ++lane)
        folded = Fold(lanes[lane], LaneMultipliers(Lanes - 1 - lane), folded);
    const __m128i by128 = LaneMultipliers(1);
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
        reg = FoldLanes<8>(reg, data, blocks);
    else if (width >= kNarrow && length >= kMinLength)
        reg = FoldLanes<4>(reg, data, blocks);
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
