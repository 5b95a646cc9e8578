#pragma once

namespace Platform
{

// True when standard output is connected to a terminal (colour sequences make sense there).
bool StdoutIsTerminal();

} // namespace Platform
