// Stands in for a DLL that a web page left in the downloads folder under a system DLL's name. It
// exports nothing; whatever process loads it appends "<DLL's path> loaded by <program's path>" to
// planted-dlls-loaded.txt in the DLL's folder, so that a test can tell what loaded it by which name.

#include <windows.h>

#include <string>

namespace
{

std::string Utf8(const wchar_t* text, DWORD length)
{
    std::string out(length * 3, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(),
                                   static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t path[MAX_PATH], program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    const DWORD programLength = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || programLength >= MAX_PATH)
        return TRUE;
    const std::string line = Utf8(path, length) + " loaded by " + Utf8(program, programLength) + "\n";

    std::wstring marker(path, length);
    marker.erase(marker.find_last_of(L"\\/") + 1);
    marker += L"planted-dlls-loaded.txt";
    HANDLE file = CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
    {
        DWORD written = 0;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
