#pragma once
// Notes for a debugger attached to the process.

#include <string>

namespace Platform
{

// Hands the text to the debugger (OutputDebugStringA on Windows). Linux has no such channel: the
// text is dropped there. Any thread may call it.
void WriteDebugOutput(const std::string& text);

} // namespace Platform
