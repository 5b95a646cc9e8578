#include "DownloadSystem/FileSystem.h"

#include "Core/ErrorLog.h"
#include "Core/ScopedHandle.h"
#include "Core/StringUtils.h"
#include "Platform/FileIo.h"
#include "Platform/ProcessInfo.h"

#include <memory>

namespace DownloadSystem::FileSystem
{

namespace
{

using nd::StringUtils;

// Wide paths become the platform's UTF-8 paths; messages keep the path as the caller passed it.
std::string NativePath(const std::u16string& path)
{
    return StringUtils::ToUtf8(path);
}

void ReportOpenFailure(const std::u16string& path, int errorNumber, int line)
{
    nd::ReportError("Couldn't read file " + StringUtils::ToNarrow(path), errorNumber, __FILE__, line);
}

void ReportReadFailure(const std::u16string& path, int errorNumber, int line)
{
    nd::ReportError("Unable to read from file" + StringUtils::ToNarrow(path), errorNumber, __FILE__, line);
}

// Opens a file for reading, or reports why not. A folder is refused as the system would refuse
// to read it as a file.
nd::ScopedHandle OpenForReading(const std::u16string& path, int line)
{
    const std::string native = NativePath(path);
    const bool folder = Platform::IsDirectory(native);
    nd::ScopedHandle file(folder ? Platform::kInvalidHandle : Platform::OpenFileForReading(native));
    if (!file.IsValid())
        ReportOpenFailure(path, folder ? Platform::FileError::kIsDirectory : Platform::LastErrorNumber(),
                          line);
    return file;
}

} // namespace

std::string& GetExecutableFolder(std::string& folder)
{
    folder = Platform::ExecutablePath();
    const size_t slash = folder.rfind('/');
    if (slash != std::string::npos)
        folder.erase(slash);
    return folder;
}

uint64_t GetSizeOfFile(const std::u16string& path)
{
    const std::string native = NativePath(path);
    // A folder is not a file here either: the system would refuse to open it as one.
    if (!Platform::PathExists(native) || Platform::IsDirectory(native))
        return 0;
    nd::ScopedHandle file(Platform::OpenFileForReading(native));
    if (!file.IsValid())
        return 0;
    uint64_t size = 0;
    if (!Platform::GetFileSize(file.Get(), size))
    {
        nd::ReportError("GetFileSizeEx failed", Platform::LastErrorNumber(), __FILE__, __LINE__);
        return 0;
    }
    return size;
}

void ReadFileToBuffer(const std::u16string& path, nd::ByteBuffer& buffer)
{
    buffer.Free();
    const nd::ScopedHandle file = OpenForReading(path, __LINE__);
    if (!file.IsValid())
        return;
    uint64_t size = 0;
    if (!Platform::GetFileSize(file.Get(), size))
    {
        ReportReadFailure(path, Platform::LastErrorNumber(), __LINE__);
        return;
    }
    // The size is a 32-bit count by contract; taking the low part of a larger file would hand
    // out a silently truncated file, so such files are refused.
    if (size > UINT32_MAX)
    {
        ReportReadFailure(path, Platform::FileError::kTooLarge, __LINE__);
        return;
    }
    if (size == 0)
        return;
    if (!buffer.Allocate(static_cast<size_t>(size)))
    {
        ReportReadFailure(path, Platform::FileError::kOutOfMemory, __LINE__);
        return;
    }
    size_t read = 0;
    if (!Platform::ReadFully(file.Get(), buffer.Data(), buffer.Size(), read))
    {
        ReportReadFailure(path, Platform::LastErrorNumber(), __LINE__);
        return;
    }
    // The file shrank since its size was taken: keep exactly what it holds now.
    if (read < buffer.Size())
        buffer.Resize(read);
}

bool ReadFileInPieces(const std::u16string& path, size_t pieceSize,
                      const std::function<void(const uint8_t*, size_t)>& consume,
                      const std::atomic<bool>* keepRunning)
{
    const nd::ScopedHandle file = OpenForReading(path, __LINE__);
    if (!file.IsValid())
        return false;
    // Not cleared first: every byte handed on was read into it.
    const size_t size = pieceSize == 0 ? 1 : pieceSize;
    const auto piece = std::make_unique_for_overwrite<uint8_t[]>(size);
    for (bool first = true;; first = false)
    {
        size_t read = 0;
        if (!Platform::ReadFile(file.Get(), piece.get(), size, read))
        {
            ReportReadFailure(path, Platform::LastErrorNumber(), __LINE__);
            return false;
        }
        if (read == 0)
            return true;
        // A file of one piece is always read whole, stop or not.
        if (!first && keepRunning && !keepRunning->load())
            return false;
        consume(piece.get(), read);
    }
}

} // namespace DownloadSystem::FileSystem
