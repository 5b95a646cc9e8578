#include "Platform/ProcessInfo.h"

#include <malloc.h>
#include <windows.h>

#include <vector>

#include "Platform/Windows/WideText.h"

namespace Platform
{

std::string ExecutablePath()
{
    // A path longer than the classic 260 units would come back cut short and name another
    // folder, so the buffer grows until the answer fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;)
    {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return Utf8PathFromNative(std::wstring(buffer.data(), length));
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::string> EnvironmentVariable(const std::string& name)
{
    const std::wstring wideName = WideFromUtf8(name);
    const DWORD needed = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (needed == 0)
    {
        // An empty value is set too; only a missing variable reports ERROR_ENVVAR_NOT_FOUND.
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            return std::nullopt;
        return std::string();
    }
    std::vector<wchar_t> value(needed);
    const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), needed);
    if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return std::nullopt;
    return Utf8FromWide(std::wstring(value.data(), length < needed ? length : 0));
}

uint32_t CurrentProcessId()
{
    return ::GetCurrentProcessId();
}

void ReleaseFreedMemory()
{
    // The C run-time's heap keeps freed blocks committed until asked to give them back.
    ::_heapmin();
}

} // namespace Platform
