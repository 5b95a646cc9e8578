#pragma once
// The baseline of the verification: one pass of zlib's crc32 over files read in pieces.

#include <cstddef>
#include <string>
#include <vector>

namespace bench
{

// Prints "zlib_crc NAME CRC" per file and the bytes read; 0 when every file was read.
int ZlibCrcOfFiles(const std::vector<std::string>& paths, size_t pieceSize);

} // namespace bench
