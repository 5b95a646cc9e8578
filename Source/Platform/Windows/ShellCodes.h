#pragma once
// ShellExecute's own failure codes (0 and 2 to 32) in words, with the code. Windows-only helper.

#include <cstdint>
#include <string>

namespace Platform
{

std::string ShellExecuteCodeText(intptr_t code);

} // namespace Platform
