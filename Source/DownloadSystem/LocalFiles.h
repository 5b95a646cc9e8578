#pragma once
// Local names of setup files and the CRC-32 of files on disk.

#include <atomic>
#include <cstdint>
#include <string>

namespace DownloadSystem::LocalFiles
{

// Inserts suffix in front of the name's extension: the last 4 characters for names that contain
// ".exe" anywhere, else the last 7 (Setup-1a.bin's "-1a.bin"). The position counts from the
// end, so a whole path gives the same result as its name; a name shorter than its extension
// gets the suffix in front.
std::u16string InsertSuffix(const std::u16string& name, const std::u16string& suffix);

enum class CrcStatus
{
    Computed,
    NotOpened, // missing or not openable; errorNumber tells why
    ReadFailed,
    Stopped, // keepRunning was cleared; nothing is known about the file
};

// The CRC-32 of the whole file, read in bounded pieces (memory use does not grow with the file).
// length receives the bytes read. With keepRunning, a cleared flag is noticed from the second
// piece on, so that a stop is answered whatever the file's size.
CrcStatus ComputeFileCrc(const std::string& path, uint32_t& crc, uint64_t& length, int& errorNumber,
                         const std::atomic<bool>* keepRunning = nullptr);

// Large enough that reading costs no more than in bigger pieces, small enough to stay in the
// cache for the CRC that follows; the program keeps the memory of its largest piece.
inline constexpr size_t kCrcPieceSize = 256 * 1024;

} // namespace DownloadSystem::LocalFiles
