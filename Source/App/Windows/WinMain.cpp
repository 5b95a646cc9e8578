// The program's entry point on Windows: WinMain of the GUI subsystem, so that no console window
// opens with the program. Its arguments are not used.
//
// Users start the program from their downloads folder, where any page may have left a DLL. The
// loader looks in the program's own folder first for every DLL that is not a known system DLL, so
// the process starts in ProcessStart (the linker's entry point, see Source/UI/CMakeLists.txt),
// which restricts that search to the system folder before the C runtime, the static constructors
// or any library runs. Imports that are not known DLLs are delay-loaded for the same reason
// (cmake/WindowsDelayLoad.cmake): resolved at load time they would come from the program's folder.

#include "App/ProgramEntry.h"

// The declarations <windows.h> makes (which stays inside the platform layer): C linkage, and the
// handle types are pointers to incomplete structs.
extern "C"
{
    __declspec(dllimport) struct HINSTANCE__* __stdcall GetModuleHandleW(const wchar_t* name);
    __declspec(dllimport) void* __stdcall GetProcAddress(struct HINSTANCE__* module, const char* name);
    // The C runtime's own entry of a GUI program: initialises the runtime, then calls WinMain.
    int WinMainCRTStartup();
}

extern "C" int __stdcall WinMain(struct HINSTANCE__*, struct HINSTANCE__*, char*, int)
{
    return nd::RunProgram();
}

extern "C" int ProcessStart()
{
    // Looked up rather than imported: Windows 7 has it only with update KB2533623, and an import
    // that cannot be resolved would stop the program from starting at all. Without it the
    // program still runs, with the system's own search order.
    using SetDefaultDllDirectoriesCall = int(__stdcall*)(unsigned long);
    constexpr unsigned long kLoadLibrarySearchSystem32 = 0x00000800;
    if (auto* kernel32 = GetModuleHandleW(L"kernel32.dll"))
        if (auto* call = reinterpret_cast<SetDefaultDllDirectoriesCall>(
                GetProcAddress(kernel32, "SetDefaultDllDirectories")))
            call(kLoadLibrarySearchSystem32);
    return WinMainCRTStartup();
}
