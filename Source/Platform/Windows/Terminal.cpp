#include "Platform/Terminal.h"

#include <windows.h>

#include <cstdio>

namespace Platform
{

namespace
{

HANDLE StandardOutput()
{
    return ::GetStdHandle(STD_OUTPUT_HANDLE);
}

} // namespace

// Only a console has text attributes; a redirected standard output (a file, a pipe) has none.
bool StdoutIsTerminal()
{
    DWORD mode = 0;
    const HANDLE output = StandardOutput();
    return output != nullptr && output != INVALID_HANDLE_VALUE && ::GetConsoleMode(output, &mode) != 0;
}

void SetStdoutTextAttribute(int attribute)
{
    // What stdio holds back must come out in the colour it was printed with.
    std::fflush(stdout);
    ::SetConsoleTextAttribute(StandardOutput(), static_cast<WORD>(attribute));
}

} // namespace Platform
