// Stands in for a DLL that a web page left in the downloads folder under a system DLL's name. It
// exports nothing; whatever process loads it appends "<DLL's path> loaded by <program's path>" to
// planted-dlls-loaded.txt in the DLL's folder, so that a test can tell what loaded it by which name.

#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    wchar_t path[MAX_PATH], program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    const DWORD programLength = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (reason != DLL_PROCESS_ATTACH || length == 0 || length >= MAX_PATH || programLength >= MAX_PATH)
        return TRUE;
    const std::wstring line = std::wstring(path, length) + L" loaded by " + program + L"\n";
    std::string utf8(line.size() * 3, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(),
                                    static_cast<int>(utf8.size()), nullptr, nullptr));

    std::wstring marker(path, length);
    marker.erase(marker.find_last_of(L"\\/") + 1);
    marker += L"planted-dlls-loaded.txt";
    HANDLE file = CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
    {
        DWORD written = 0;
        WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
