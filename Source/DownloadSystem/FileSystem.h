#pragma once
// The few file operations the engine needs. Stateless and callable from any thread; failures
// are reported to the error log (and its error list) and answered with 0 or an empty buffer.

#include "Core/ByteBuffer.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace DownloadSystem::FileSystem
{

// The folder of the running program without a trailing "/" (the whole path if it has none).
std::string& GetExecutableFolder(std::string& folder);

// 0 for a missing or unopenable path, and when the size cannot be queried (that case is reported).
uint64_t GetSizeOfFile(const std::u16string& path);

// Empties the buffer, then fills it with the whole file. A file that cannot be opened leaves it
// empty; one that cannot be read leaves it at the file's length with undefined content.
// Files of 4 GiB and more are refused as unreadable and leave it empty.
void ReadFileToBuffer(const std::u16string& path, nd::ByteBuffer& buffer);

// Reads the whole file in pieces of at most pieceSize bytes, handing each to consume in order,
// so that files of any size are checked in bounded memory. Reports with the messages of
// ReadFileToBuffer; false when the file could not be opened or read to its end. With
// keepRunning, a cleared flag is noticed from the second piece on: the read then ends, false
// and unreported, so that a stop is answered whatever the file's size.
bool ReadFileInPieces(const std::u16string& path, size_t pieceSize,
                      const std::function<void(const uint8_t*, size_t)>& consume,
                      const std::atomic<bool>* keepRunning = nullptr);

} // namespace DownloadSystem::FileSystem
