#include "DownloadSystem/PartFileWriter.h"

#include "Platform/FileIo.h"

namespace DownloadSystem
{

PartFileWriter::PartFileWriter(Platform::NativeHandle handle) : file(handle)
{
    buffer.reserve(kBufferSize);
    crc.Init();
}

bool PartFileWriter::Write(const uint8_t* bytes, size_t length)
{
    buffer.insert(buffer.end(), bytes, bytes + length);
    return buffer.size() < kBufferSize || Flush();
}

bool PartFileWriter::Flush()
{
    if (buffer.empty())
        return true;
    const bool written = file.IsValid() && Platform::WriteAll(file.Get(), buffer.data(), buffer.size());
    lastError = written ? 0 : Platform::LastErrorNumber();
    if (written)
        writtenCrc = crc.Extend(writtenCrc, buffer.data(), buffer.size());
    buffer.clear();
    return written;
}

bool PartFileWriter::Close()
{
    const bool flushed = Flush();
    file.Reset();
    return flushed;
}

} // namespace DownloadSystem
