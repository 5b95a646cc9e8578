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
    std::string narrow = Utf8FromWide(path);
    std::replace(narrow.begin(), narrow.end(), '\\', '/');
    return narrow;
}

} // namespace Platform
