#include "Platform/DebugOutput.h"

#include <windows.h>

namespace Platform
{

void WriteDebugOutput(const std::string& text)
{
    ::OutputDebugStringA(text.c_str());
}

} // namespace Platform
