#include "Platform/Terminal.h"

#include <unistd.h>

namespace Platform
{

bool StdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

} // namespace Platform
