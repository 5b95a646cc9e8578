#include "Platform/Terminal.h"

#include <cstdio>
#include <unistd.h>

namespace Platform
{

namespace
{

constexpr int kDefaultAttribute = 7;

} // namespace

bool StdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

// ANSI colours number red 1, green 2, blue 4; the default attribute resets.
void SetStdoutTextAttribute(int attribute)
{
    if (attribute == kDefaultAttribute)
    {
        std::fputs("\x1b[0m", stdout);
        return;
    }
    int ansi = ((attribute & 4) ? 1 : 0) | ((attribute & 2) ? 2 : 0) | ((attribute & 1) ? 4 : 0);
    std::fprintf(stdout, "\x1b[%dm", ((attribute & 8) ? 90 : 30) + ansi);
}

} // namespace Platform
