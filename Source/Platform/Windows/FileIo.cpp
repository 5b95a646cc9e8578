#include "Platform/FileIo.h"

#include "Platform/Windows/Win32Api.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <climits>

#include "Platform/Windows/WideText.h"
#include "Platform/Windows/Win32Owners.h"

namespace Platform
{

namespace FileError
{
// What CreateFileW answers for a folder opened as a file.
const int kIsDirectory = ERROR_ACCESS_DENIED;
const int kTooLarge = ERROR_FILE_TOO_LARGE;
const int kOutOfMemory = ERROR_NOT_ENOUGH_MEMORY;
} // namespace FileError

namespace
{

HANDLE ToHandle(NativeHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

NativeHandle FromHandle(HANDLE handle)
{
    return handle == INVALID_HANDLE_VALUE ? kInvalidHandle : reinterpret_cast<NativeHandle>(handle);
}

HANDLE OpenFile(const std::string& path, DWORD access, DWORD sharing, DWORD disposition)
{
    return ::CreateFileW(FileCallPath(path).c_str(), access, sharing, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

// INVALID_FILE_ATTRIBUTES when nothing is there.
DWORD AttributesOf(const std::string& path)
{
    return ::GetFileAttributesW(FileCallPath(path).c_str());
}

} // namespace

int LastErrorNumber()
{
    return static_cast<int>(::GetLastError());
}

void SetLastErrorNumber(int number)
{
    ::SetLastError(static_cast<DWORD>(number));
}

NativeHandle OpenFileForReading(const std::string& path)
{
    return FromHandle(OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
}

// A part file is written by one worker and read back only after it is closed: no sharing.
NativeHandle CreateFileForWriting(const std::string& path)
{
    return FromHandle(OpenFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS));
}

NativeHandle OpenFileForWriting(const std::string& path)
{
    return FromHandle(OpenFile(path, GENERIC_WRITE, 0, OPEN_EXISTING));
}

bool ReadFile(NativeHandle handle, void* buffer, size_t size, size_t& read)
{
    read = 0;
    if (size == 0)
        return true;
    DWORD got = 0;
    const DWORD ask = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    if (!::ReadFile(ToHandle(handle), buffer, ask, &got, nullptr))
        return false;
    read = got;
    return true;
}

bool WriteAll(NativeHandle handle, const void* data, size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < size)
    {
        const size_t left = size - done;
        const DWORD piece = left > MAXDWORD ? MAXDWORD : static_cast<DWORD>(left);
        DWORD wrote = 0;
        if (!::WriteFile(ToHandle(handle), bytes + done, piece, &wrote, nullptr))
            return false;
        if (wrote == 0)
        {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += wrote;
    }
    return true;
}

bool SeekTo(NativeHandle handle, uint64_t offset)
{
    if (offset > static_cast<uint64_t>(LLONG_MAX))
    {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(ToHandle(handle), distance, nullptr, FILE_BEGIN) != 0;
}

bool FlushFile(NativeHandle handle)
{
    return ::FlushFileBuffers(ToHandle(handle)) != 0;
}

bool GetFileSize(NativeHandle handle, uint64_t& size)
{
    LARGE_INTEGER value;
    if (!::GetFileSizeEx(ToHandle(handle), &value))
        return false;
    size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool GetFileSize(const std::string& path, uint64_t& size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(FileCallPath(path).c_str(), GetFileExInfoStandard, &data))
        return false;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool PathExists(const std::string& path)
{
    return AttributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path)
{
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsRegularFile(const std::string& path)
{
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool DeleteFile(const std::string& path)
{
    return ::DeleteFileW(FileCallPath(path).c_str()) != 0;
}

bool RenameFile(const std::string& from, const std::string& to)
{
    // As rename() on Linux: an existing target is replaced.
    return ::MoveFileExW(FileCallPath(from).c_str(), FileCallPath(to).c_str(), MOVEFILE_REPLACE_EXISTING) !=
           0;
}

bool CreateDirectory(const std::string& path)
{
    return ::CreateDirectoryW(FileCallPath(path).c_str(), nullptr) != 0;
}

bool CreateDirectories(const std::string& path)
{
    if (path.empty())
    {
        ::SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    // Each prefix ending before a "/" in turn; existing ones (the drive "C:" among them) are fine.
    const std::string unified = Utf8PathFromNative(NativePathFromUtf8(path));
    for (size_t slash = unified.find('/', 1); slash != std::string::npos;
         slash = unified.find('/', slash + 1))
    {
        const std::string prefix = unified.substr(0, slash);
        if (IsDirectory(prefix) || prefix.back() == ':')
            continue;
        if (!CreateDirectory(prefix) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    if (!CreateDirectory(unified) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    if (!IsDirectory(unified))
    {
        ::SetLastError(ERROR_DIRECTORY);
        return false;
    }
    return true;
}

int OpenRuntimeDescriptor(const std::string& path, bool forWriting)
{
    const int flags = _O_BINARY | _O_NOINHERIT | (forWriting ? _O_WRONLY | _O_CREAT | _O_TRUNC : _O_RDONLY);
    return ::_wopen(FileCallPath(path).c_str(), flags, _S_IREAD | _S_IWRITE);
}

void CloseRuntimeDescriptor(int descriptor)
{
    if (descriptor >= 0)
        ::_close(descriptor);
}

// The text log: replaced as a whole, readable by others while it is written.
bool WriteWholeFile(const std::string& path, const void* data, size_t size)
{
    FileHandle file(OpenFile(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS));
    if (!file)
        return false;
    if (!WriteAll(reinterpret_cast<NativeHandle>(file.get()), data, size))
        return false;
    // A failed close can mean the data never reached the file.
    return ::CloseHandle(file.release()) != 0;
}

} // namespace Platform
