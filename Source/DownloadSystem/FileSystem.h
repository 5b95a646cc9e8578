#pragma once
// The few file operations the engine needs. Stateless and callable from any thread; failures
// are reported to the error log (and its error list) and answered with 0 or an empty buffer.

#include "Core/ByteBuffer.h"

#include <cstdint>
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

} // namespace DownloadSystem::FileSystem
