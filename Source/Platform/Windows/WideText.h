#pragma once
// The boundary between the layer's UTF-8 strings with "/" and the UTF-16 of the wide Win32
// calls. Windows-only helper of this folder.

#include <string>

namespace Platform
{

// Invalid UTF-8 becomes U+FFFD (and unpaired surrogates the same on the way back), as the
// system converter does; empty input gives empty output.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

// A path for a Win32 call: UTF-16 with "\" as separator ("/" and "\" both name folders there).
std::wstring NativePathFromUtf8(const std::string& path);
// A path handed upward: UTF-8 with "/" as separator, without the extended-length prefix.
std::string Utf8PathFromNative(const std::wstring& path);

// A path for the file calls: as NativePathFromUtf8, and from kLongPathFrom units on in the
// extended-length form ("\\?\C:\...", "\\?\UNC\server\share\..."), made absolute and
// without "." or ".." first, since the system takes such paths literally. Paths of the classic
// length stay as they are, so that the names only the short form knows (NUL, CON) keep working.
std::wstring FileCallPath(const std::string& path);
// The extended-length form of an absolute path with "\" separators; one already in it (or a
// device path "\\.\") unchanged.
std::wstring ExtendedLengthPath(const std::wstring& absolute);
// A path the shell can take (it knows no extended-length form): long ones through their short
// names where the volume has them.
std::wstring ShellPath(const std::string& path);

// CreateDirectoryW's classic limit (MAX_PATH less room for an 8.3 file name), the lowest of the
// file calls.
constexpr size_t kLongPathFrom = 248;

} // namespace Platform
