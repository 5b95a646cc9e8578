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
// A path handed upward: UTF-8 with "/" as separator.
std::string Utf8PathFromNative(const std::wstring& path);

} // namespace Platform
