#pragma once
// Writes a download's body to its part file in large pieces instead of one system call per
// network read, so that memory stays bounded and the disk sees few writes. Owned by one thread.

#include "Core/ScopedHandle.h"

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
};

} // namespace DownloadSystem
