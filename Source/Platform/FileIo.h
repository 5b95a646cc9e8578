#pragma once
// Plain file and folder operations. Paths are UTF-8 with "/" as separator. Every function that
// fails leaves the reason in the thread's error number (LastErrorNumber: errno on Linux, the
// last-error value on Windows), which the error log knows how to describe; nothing here records
// anything itself.

#include <cstddef>
#include <cstdint>
#include <string>

#include "Platform/NativeHandle.h"

namespace Platform
{

// The calling thread's error number of the last failed call.
int LastErrorNumber();
void SetLastErrorNumber(int number);

// This platform's error numbers for failures that callers detect themselves, so that the log
// describes them in the platform's own words.
namespace FileError
{
extern const int kIsDirectory; // a folder where a file was expected
extern const int kTooLarge;    // a file too large for the caller to take
extern const int kOutOfMemory;
} // namespace FileError

// Opens an existing file for reading; kInvalidHandle on failure.
NativeHandle OpenFileForReading(const std::string& path);
// Creates the file or empties an existing one, opened for writing (create-always).
NativeHandle CreateFileForWriting(const std::string& path);
// Opens an existing file for writing without emptying it; the position is at its start.
NativeHandle OpenFileForWriting(const std::string& path);

// Reads at most size bytes; read == 0 with true means the end of the file. Retries EINTR.
bool ReadFile(NativeHandle handle, void* buffer, size_t size, size_t& read);
// Reads until size bytes are in or the file ends; read tells how many arrived.
bool ReadFully(NativeHandle handle, void* buffer, size_t size, size_t& read);
// Writes all size bytes or fails; short writes are continued.
bool WriteAll(NativeHandle handle, const void* data, size_t size);
bool SeekTo(NativeHandle handle, uint64_t offset);
bool FlushFile(NativeHandle handle);
bool GetFileSize(NativeHandle handle, uint64_t& size);

// The size of the file at path (following links); false when it cannot be asked.
bool GetFileSize(const std::string& path, uint64_t& size);
// Anything exists at the path (file, folder, ...).
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);
bool DeleteFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
// Creates one folder level; the parent must exist. False (EEXIST, ERROR_ALREADY_EXISTS) when it
// exists.
bool CreateDirectory(const std::string& path);
// Creates the folder and any missing parents; true when the folder exists afterwards.
bool CreateDirectories(const std::string& path);

// A C run-time file descriptor for a library that takes one (zlib's gzdopen), opened from a
// path the layer's way: UTF-8 on both platforms (the run-time's own path calls take the ANSI code
// page on Windows). Binary; for writing it is created or emptied. -1 on failure. Whoever takes
// the descriptor closes it, or CloseRuntimeDescriptor when nobody took it.
int OpenRuntimeDescriptor(const std::string& path, bool forWriting);
void CloseRuntimeDescriptor(int descriptor);

// Whole-file helpers for small files. ReadWholeFile fails on files that do not fit in memory.
bool ReadWholeFile(const std::string& path, std::string& content);
// Create-always, one write of everything, close.
bool WriteWholeFile(const std::string& path, const void* data, size_t size);

} // namespace Platform
