#pragma once
// The CRC-32 register (reflected polynomial 0xEDB88320) by carry-less multiplication: the input
// is folded 64 bytes per step with PCLMULQDQ, or 256 bytes per step with the 512-bit
// VPCLMULQDQ of AVX-512, several times faster than the table method and with exactly its
// results. Which kernel runs is decided by the processor at run time.

#include <cstddef>
#include <cstdint>

namespace DownloadSystem::CrcClmul
{

// Inputs shorter than this are not worth the set-up; Update still takes them.
inline constexpr size_t kMinLength = 64;

// Kernel widths in bits.
inline constexpr unsigned kNone = 0;
inline constexpr unsigned kNarrow = 128; // PCLMULQDQ
inline constexpr unsigned kWide = 512;   // VPCLMULQDQ on 512-bit registers

// The widest kernel this processor runs. Fixed for the process; any thread.
unsigned SupportedWidth();
inline bool Supported()
{
    return SupportedWidth() >= kNarrow;
}

// Runs the register (already inverted, not yet inverted back) over the bytes with the widest
// kernel up to maxWidth that the processor runs (tests pick a narrower one). Without the
// instructions it falls back to a byte-wise loop: correct, but slow.
uint32_t Update(uint32_t reg, const uint8_t* data, size_t length, unsigned maxWidth = kWide);

} // namespace DownloadSystem::CrcClmul
