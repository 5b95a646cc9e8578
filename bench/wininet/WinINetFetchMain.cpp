// norvia_wininet_fetch URL FILE: the plainest WinINet download, the baseline of the Windows engine
// in bench/run.sh. One synchronous request with the system's proxy settings, the body read in
// 64 KiB pieces and each piece written as it comes; nothing of the engine.
//
// Prints "wininet_bytes N", "wininet_request_s S" (from the request to the last byte written) and
// "wininet_transfer_s S" (from the first byte read to the last byte written).

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <cstdio>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

double SecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

int Fail(const char* step)
{
    std::fprintf(stderr, "norvia_wininet_fetch: %s failed with %lu\n", step, ::GetLastError());
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
    {
        std::fputs("usage: norvia_wininet_fetch URL FILE\n", stderr);
        return 2;
    }
    HINTERNET internet =
        ::InternetOpenW(L"norvia_wininet_fetch", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!internet)
        return Fail("InternetOpen");
    const HANDLE file =
        ::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Fail("CreateFile");
    const auto requested = Clock::now();
    HINTERNET url = ::InternetOpenUrlW(internet, argv[1], nullptr, 0,
                                       INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_CACHE_WRITE |
                                           INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_RELOAD,
                                       0);
    if (!url)
        return Fail("InternetOpenUrl");
    std::vector<char> piece(64 * 1024);
    unsigned long long total = 0;
    Clock::time_point first;
    for (;;)
    {
        DWORD read = 0;
        if (!::InternetReadFile(url, piece.data(), static_cast<DWORD>(piece.size()), &read))
            return Fail("InternetReadFile");
        if (read == 0)
            break;
        if (total == 0)
            first = Clock::now();
        DWORD written = 0;
        if (!::WriteFile(file, piece.data(), read, &written, nullptr) || written != read)
            return Fail("WriteFile");
        total += read;
    }
    const auto done = Clock::now();
    ::CloseHandle(file);
    ::InternetCloseHandle(url);
    ::InternetCloseHandle(internet);
    std::printf("wininet_bytes %llu\nwininet_request_s %.4f\nwininet_transfer_s %.4f\n", total,
                SecondsBetween(requested, done), total ? SecondsBetween(first, done) : 0.0);
    return 0;
}
