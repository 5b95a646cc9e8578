// norvia_launch_recorder: the setup of the releases the Windows tests serve. Started through the
// shell, it appends where it lives, its working folder and its arguments to the file that
// NORVIA_LAUNCH_LOG names ("exe=", "cwd=", one "arg=" per argument, then "end"), and exits.

#include <windows.h>

#include <string>

namespace
{

std::string Utf8(const wchar_t* text)
{
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(length > 0 ? static_cast<size_t>(length - 1) : 0, '\0');
    if (length > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    wchar_t log[MAX_PATH] = {};
    wchar_t exe[MAX_PATH] = {};
    wchar_t folder[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"NORVIA_LAUNCH_LOG", log, MAX_PATH) == 0)
        return 1;
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    ::GetCurrentDirectoryW(MAX_PATH, folder);
    std::string note = "exe=" + Utf8(exe) + "\ncwd=" + Utf8(folder) + "\n";
    for (int i = 1; i < argc; ++i)
        note += "arg=" + Utf8(argv[i]) + "\n";
    note += "end\n";
    const HANDLE file = ::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    const bool ok = ::WriteFile(file, note.data(), static_cast<DWORD>(note.size()), &written, nullptr) != 0;
    ::CloseHandle(file);
    return ok ? 0 : 1;
}
