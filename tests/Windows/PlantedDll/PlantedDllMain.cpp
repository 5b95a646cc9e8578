// Stands in for a DLL that a web page left in the downloads folder under a system DLL's name. It
// exports nothing; whatever process loads it appends the DLL's own path to planted-dlls-loaded.txt
// in the DLL's folder, so that a test can tell that it was loaded and by which name.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    char line[MAX_PATH * 3 + 2];
    int bytes =
        WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), line, MAX_PATH * 3, nullptr, nullptr);
    line[bytes++] = '\n';

    DWORD folderEnd = length;
    while (folderEnd > 0 && path[folderEnd - 1] != L'\\' && path[folderEnd - 1] != L'/')
        --folderEnd;
    const wchar_t markerName[] = L"planted-dlls-loaded.txt";
    if (folderEnd + sizeof(markerName) / sizeof(wchar_t) > MAX_PATH)
        return TRUE;
    for (size_t i = 0; i < sizeof(markerName) / sizeof(wchar_t); ++i)
        path[folderEnd + i] = markerName[i];

    HANDLE marker = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE)
    {
        DWORD written = 0;
        WriteFile(marker, line, static_cast<DWORD>(bytes), &written, nullptr);
        CloseHandle(marker);
    }
    return TRUE;
}
