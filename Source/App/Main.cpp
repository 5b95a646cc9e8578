// The program's entry point (Linux; the Windows build has Windows/WinMain.cpp).

#include "App/ProgramEntry.h"

int main()
{
    return nd::RunProgram();
}
