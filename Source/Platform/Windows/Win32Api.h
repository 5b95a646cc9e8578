#pragma once
// <windows.h> and <shellapi.h> without their A/W macros that share names with the layer's own
// functions (Platform::CreateDirectory, Platform::DeleteFile, Platform::ShellExecute). Code that
// includes both the Win32 headers and the layer's includes this instead of <windows.h>.

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#undef CreateDirectory
#undef DeleteFile
#undef ShellExecute
