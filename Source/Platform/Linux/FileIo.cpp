#include "Platform/FileIo.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform
{

namespace FileError
{
const int kIsDirectory = EISDIR;
const int kTooLarge = EFBIG;
const int kOutOfMemory = ENOMEM;
} // namespace FileError

int LastErrorNumber()
{
    return errno;
}

void SetLastErrorNumber(int number)
{
    errno = number;
}

NativeHandle OpenFileForReading(const std::string& path)
{
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd < 0 ? kInvalidHandle : fd;
}

NativeHandle CreateFileForWriting(const std::string& path)
{
    int fd;
    do
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    while (fd < 0 && errno == EINTR);
    return fd < 0 ? kInvalidHandle : fd;
}

NativeHandle OpenFileForWriting(const std::string& path)
{
    int fd;
    do
        fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd < 0 ? kInvalidHandle : fd;
}

bool ReadFile(NativeHandle handle, void* buffer, size_t size, size_t& read)
{
    read = 0;
    if (size == 0)
        return true;
    ssize_t got;
    do
        got = ::read(handle, buffer, size);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        return false;
    read = static_cast<size_t>(got);
    return true;
}

bool WriteAll(NativeHandle handle, const void* data, size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < size)
    {
        ssize_t wrote = ::write(handle, bytes + done, size - done);
        if (wrote < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (wrote == 0)
        {
            errno = EIO;
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    return true;
}

bool SeekTo(NativeHandle handle, uint64_t offset)
{
    if (offset > static_cast<uint64_t>(INT64_MAX))
    {
        errno = EINVAL;
        return false;
    }
    return ::lseek(handle, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool FlushFile(NativeHandle handle)
{
    return ::fsync(handle) == 0;
}

bool GetFileSize(NativeHandle handle, uint64_t& size)
{
    struct stat info {};
    if (::fstat(handle, &info) != 0)
        return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool GetFileSize(const std::string& path, uint64_t& size)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool PathExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool DeleteFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool CreateDirectory(const std::string& path)
{
    return ::mkdir(path.c_str(), 0755) == 0;
}

bool CreateDirectories(const std::string& path)
{
    if (path.empty())
    {
        errno = ENOENT;
        return false;
    }
    // Create each prefix ending before a "/" in turn; existing ones are fine.
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    {
        std::string prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        return false;
    if (!IsDirectory(path))
    {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

int OpenRuntimeDescriptor(const std::string& path, bool forWriting)
{
    const int flags = forWriting ? O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC : O_RDONLY | O_CLOEXEC;
    int fd;
    do
        fd = ::open(path.c_str(), flags, 0644);
    while (fd < 0 && errno == EINTR);
    return fd;
}

void CloseRuntimeDescriptor(int descriptor)
{
    if (descriptor >= 0)
        ::close(descriptor);
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size)
{
    int fd = CreateFileForWriting(path);
    if (fd == kInvalidHandle)
        return false;
    if (!WriteAll(fd, data, size))
    {
        int savedError = errno;
        ::close(fd);
        errno = savedError;
        return false;
    }
    // A failed close can mean the data never reached the file.
    return ::close(fd) == 0 || errno == EINTR;
}

} // namespace Platform
