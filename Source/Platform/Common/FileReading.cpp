// Reading whole files and whole pieces: the same on every platform, on the layer's own calls.
#include "Platform/FileIo.h"

#include <new>

namespace Platform
{

namespace
{

bool ReadOpenFile(NativeHandle file, std::string& content)
{
    uint64_t size = 0;
    if (!GetFileSize(file, size))
        return false;
    if (size > content.max_size())
    {
        SetLastErrorNumber(FileError::kTooLarge);
        return false;
    }
    try
    {
        content.resize(static_cast<size_t>(size));
        size_t read = 0;
        if (!ReadFully(file, content.data(), content.size(), read))
            return false;
        content.resize(read);
        // A file that grew since it was measured: take the rest as well.
        char more[16384];
        for (;;)
        {
            size_t got = 0;
            if (!ReadFile(file, more, sizeof more, got))
                return false;
            if (got == 0)
                return true;
            content.append(more, got);
        }
    }
    catch (const std::bad_alloc&)
    {
        SetLastErrorNumber(FileError::kOutOfMemory);
        return false;
    }
}

} // namespace

bool ReadFully(NativeHandle handle, void* buffer, size_t size, size_t& read)
{
    read = 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (read < size)
    {
        size_t got = 0;
        if (!ReadFile(handle, bytes + read, size - read, got))
            return false;
        if (got == 0)
            break;
        read += got;
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& content)
{
    content.clear();
    const NativeHandle file = OpenFileForReading(path);
    if (file == kInvalidHandle)
        return false;
    const bool ok = ReadOpenFile(file, content);
    const int savedError = LastErrorNumber();
    CloseNativeHandle(file);
    if (!ok)
    {
        content.clear();
        SetLastErrorNumber(savedError);
    }
    return ok;
}

} // namespace Platform
