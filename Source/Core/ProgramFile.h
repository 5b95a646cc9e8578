#pragma once

#include <string>
#include <string_view>

namespace nd
{

// The full path of the program's own executable; empty when the platform cannot tell.
std::u16string ProgramFilePath();
// The file name of path (after the last "/" or "\\") without its last extension
// ("/a/Setup.Viewer.exe" -> "Setup.Viewer"; a name without extension or starting with its only
// dot comes back whole).
std::u16string FileStem(std::u16string_view path);

} // namespace nd
