// A stand-in setup: proves that it was started, and from where, by writing setup-started.txt beside
// itself with its own path, its working folder and its command line (UTF-8). Nothing else.

#include <windows.h>

#include <string>

namespace
{

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

// Grows the buffer until the whole path fits: paths can be longer than MAX_PATH.
template <typename Query> std::wstring QueryPath(Query query)
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;)
    {
        const DWORD length = query(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
        {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::wstring self =
        QueryPath([](wchar_t* out, DWORD size) { return GetModuleFileNameW(nullptr, out, size); });
    const std::wstring workingFolder = QueryPath(
        [](wchar_t* out, DWORD size)
        {
            const DWORD length = GetCurrentDirectoryW(size, out);
            // Too small a buffer is answered with the size needed, terminator included.
            return length >= size ? size : length;
        });
    const size_t separator = self.find_last_of(L"\\/");
    if (self.empty() || separator == std::wstring::npos)
        return 1;

    const std::wstring marker = self.substr(0, separator + 1) + L"setup-started.txt";
    const std::string text = "setup: " + Utf8(self) + "\r\nworking folder: " + Utf8(workingFolder) +
                             "\r\ncommand line: " + Utf8(GetCommandLineW()) + "\r\n";
    HANDLE file =
        CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size() ? 0 : 3;
}
