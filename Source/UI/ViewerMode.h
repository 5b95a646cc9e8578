#pragma once

#include <string_view>

namespace nd
{

// Viewer mode is on when the program's file stem (folders and last extension left out) holds
// "viewer" in any letter case.
bool IsViewerProgram(std::u16string_view programPath);

} // namespace nd
