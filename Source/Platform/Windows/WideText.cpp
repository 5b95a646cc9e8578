#include "Platform/Windows/WideText.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace Platform
{

std::wstring WideFromUtf8(const std::string& text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int length = static_cast<int>(text.size());
    const int needed = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (needed <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
    return wide;
}

std::string Utf8FromWide(const std::wstring& text)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int length = static_cast<int>(text.size());
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return {};
    std::string narrow(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), needed, nullptr, nullptr);
    return narrow;
}

std::wstring NativePathFromUtf8(const std::string& path)
{
    std::wstring wide = WideFromUtf8(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
}

std::string Utf8PathFromNative(const std::wstring& path)
{
    std::wstring plain = path;
    if (plain.starts_with(L"\\\\?\\UNC\\"))
        plain = L"\\\\" + plain.substr(8);
    else if (plain.starts_with(L"\\\\?\\"))
        plain = plain.substr(4);
    std::string narrow = Utf8FromWide(plain);
    std::replace(narrow.begin(), narrow.end(), '\\', '/');
    return narrow;
}

std::wstring ExtendedLengthPath(const std::wstring& absolute)
{
    if (absolute.starts_with(L"\\\\?\\") || absolute.starts_with(L"\\\\.\\"))
        return absolute;
    if (absolute.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + absolute.substr(2);
    return L"\\\\?\\" + absolute;
}

std::wstring FileCallPath(const std::string& path)
{
    const std::wstring native = NativePathFromUtf8(path);
    if (native.size() < kLongPathFrom || native.starts_with(L"\\\\?\\") || native.starts_with(L"\\\\.\\"))
        return native;
    const DWORD needed = ::GetFullPathNameW(native.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return native;
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(native.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return native;
    full.resize(length);
    return ExtendedLengthPath(full);
}

std::wstring ShellPath(const std::string& path)
{
    const std::wstring native = NativePathFromUtf8(path);
    if (native.size() < MAX_PATH)
        return native;
    const std::wstring extended = FileCallPath(path);
    const DWORD needed = ::GetShortPathNameW(extended.c_str(), nullptr, 0);
    if (needed == 0)
        return native;
    std::wstring shortened(needed, L'\0');
    const DWORD length = ::GetShortPathNameW(extended.c_str(), shortened.data(), needed);
    if (length == 0 || length >= needed)
        return native;
    shortened.resize(length);
    // The shell takes the classic form only; a short form that is still too long is left to fail.
    return NativePathFromUtf8(Utf8PathFromNative(shortened));
}

} // namespace Platform
