#include "Platform/ErrorText.h"

#include <windows.h>

#include "Platform/Windows/WideText.h"

namespace Platform
{

namespace
{

// The system allocates the buffer and searches its own table (0x1100). Inserts are left as they
// stand ("%1"): without arguments to fill them, FormatMessage would read whatever follows (or, as
// wine does, fail and leave the number without its text).
constexpr DWORD kLookupFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD kEnglishUnitedStates = 0x0409;

// The system's message for the number in one language; the buffer it allocates is freed here.
bool LookUp(DWORD number, DWORD language, std::string& text)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(kLookupFlags, nullptr, number, language,
                                          reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr)
    {
        if (buffer != nullptr)
            ::LocalFree(buffer);
        return false;
    }
    text = Utf8FromWide(std::wstring(buffer, length));
    ::LocalFree(buffer);
    return true;
}

} // namespace

// The text comes as the system gives it, usually ending in "\r\n"; 8-bit text is UTF-8.
bool SystemErrorText(int32_t errorNumber, std::string& text)
{
    text.clear();
    if (errorNumber == 0)
        return false;
    const DWORD number = static_cast<DWORD>(errorNumber);
    return LookUp(number, kEnglishUnitedStates, text) || LookUp(number, 0, text);
}

} // namespace Platform
