#pragma once
// CRC::Compute and the 128-bit carry-less kernel against zlib's crc32 on one buffer, run over it
// in the engine's 256 KiB pieces, measured alternately.

#include <cstddef>

namespace bench
{

// Times each over the same random buffer of size bytes, rounds times each, alternating, after
// checking that CRC::Compute, the portable table method, every carry-less kernel and zlib agree
// on it (and on shorter random pieces). Prints crc_* lines with the medians. 0 on success, 1 when
// the results differ.
int MeasureCrcSpeed(size_t size, int rounds);

} // namespace bench
