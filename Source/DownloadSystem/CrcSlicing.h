#pragma once
// The portable table method of the CRC-32 register (reflected polynomial 0xEDB88320): eight
// bytes per step through eight tables. It runs on every processor; faster methods chosen at run
// time must give exactly its results. Pure functions over tables the caller owns.

#include <array>
#include <cstddef>
#include <cstdint>

namespace DownloadSystem::CrcSlicing
{

using ByteTable = std::array<uint32_t, 256>;
// tables[0] is the byte-wise table; tables[k][b] is the register change of byte b followed by
// k zero bytes.
using Tables = std::array<ByteTable, 8>;

// Derives tables[1] to tables[7] from tables[0], which the caller has filled.
void FillSlices(Tables& tables);

// Both run the register (already inverted, not yet inverted back) over the bytes.
uint32_t UpdateBytewise(const ByteTable& table, uint32_t reg, const uint8_t* data, size_t length);
uint32_t Update(const Tables& tables, uint32_t reg, const uint8_t* data, size_t length);

} // namespace DownloadSystem::CrcSlicing
