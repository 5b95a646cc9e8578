#pragma once
// The standard CRC-32 (IEEE 802.3, as in zlib, PNG and ZIP): reflected polynomial 0xEDB88320,
// register preset to all ones, final inversion. An object belongs to one thread.

#include <array>
#include <cstddef>
#include <cstdint>

namespace DownloadSystem
{

class CRC
{
public:
    CRC() = default;
    virtual ~CRC() = default;

    // Builds the table. Call it once after construction; the object then serves any number of
    // buffers. (Compute and Extend build it themselves if it was forgotten.)
    void Init();

    // The CRC-32 of length bytes; 0 for a null pointer or length <= 0.
    uint32_t Compute(const uint8_t* data, int32_t length);

    // Continues a CRC over more bytes (zlib-style running value): Extend(0, d, n) equals
    // Compute(d, n), and Extend(Extend(0, a, n), b, m) equals the CRC of a followed by b.
    uint32_t Extend(uint32_t previousCrc, const uint8_t* data, size_t length);

    // The lowest bits bits of value in reverse order; higher bits are dropped.
    static uint32_t Reflect(uint32_t value, int bits);

    // The byte-wise table built by Init (entry 1 is 0x77073096, entry 255 0x2D02EF8D).
    const std::array<uint32_t, 256>& Table() const { return slices[0]; }

private:
    // Runs the (already inverted) register over the bytes with the fastest method this
    // processor offers; every method gives the byte-wise table loop's result exactly.
    uint32_t UpdateRegister(uint32_t reg, const uint8_t* data, size_t length) const;

    // slices[0] is the design's table; slices[k][b] is the CRC of byte b followed by k zero
    // bytes, used to fold eight input bytes per step (CrcSlicing).
    std::array<std::array<uint32_t, 256>, 8> slices{};
    bool initialised = false;
};

} // namespace DownloadSystem
