#pragma once
// Writes a download's body to its part file in large pieces instead of one system call per
// network read, so that memory stays bounded and the disk sees few writes. Owned by one thread.
// It also keeps the CRC-32 of what the file took: each piece counts once the file has accepted
// its whole length, while the piece is still in the cache, so that the body need not be read
// back after its end (the final verification still reads every file from disk).

#include "Core/ScopedHandle.h"
#include "DownloadSystem/CRC.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace DownloadSystem
{

class PartFileWriter
{
public:
    static constexpr size_t kBufferSize = 256 * 1024;

    // Takes ownership of the handle (which may be invalid: see IsOpen).
    explicit PartFileWriter(Platform::NativeHandle handle);

    bool IsOpen() const { return file.IsValid(); }
    // The error number of the last failed write, 0 when it succeeded.
    int LastError() const { return lastError; }
    // The CRC-32 of every byte written in full so far; a failed write's bytes never count.
    uint32_t WrittenCrc() const { return writtenCrc; }

    // False when handing a full buffer to the file failed. The bytes of a failed write are
    // dropped; the download's CRC check then fails on the file.
    bool Write(const uint8_t* bytes, size_t length);
    bool Flush();
    // Flushes what is left and closes the file; false when that last write failed.
    bool Close();

private:
    nd::ScopedHandle file;
    std::vector<uint8_t> buffer;
    int lastError = 0;
    CRC crc;
    uint32_t writtenCrc = 0;
};

} // namespace DownloadSystem
