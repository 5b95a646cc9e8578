// The program's entry point on Windows: WinMain of the GUI subsystem, so that no console window
// opens with the program. Its arguments are not used.

#include "App/ProgramEntry.h"

// The declaration <windows.h> makes (which stays inside the platform layer): C linkage, and the
// handle types are pointers to incomplete structs.
extern "C" int __stdcall WinMain(struct HINSTANCE__*, struct HINSTANCE__*, char*, int)
{
    return nd::RunProgram();
}
