#pragma once
// What the entry point does, on every system: the hooks configure, then the application frame runs.
// Main.cpp calls it from main, Windows/WinMain.cpp from the GUI subsystem's WinMain.

namespace nd
{

// Main thread only, once. Always 0: a window that could not be made ends the program quietly.
int RunProgram();

} // namespace nd
