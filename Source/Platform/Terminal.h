#pragma once
// Standard output as a place for coloured text.

namespace Platform
{

// True when standard output is a terminal (Linux) or a console (Windows): colours make sense there.
bool StdoutIsTerminal();

// Sets the colour of what is printed next from a console text attribute (bits: 1 blue, 2 green,
// 4 red, 8 bright; 7 is the default light grey): the console's own attribute on Windows, a
// terminal colour sequence on Linux. Only for a standard output that StdoutIsTerminal.
void SetStdoutTextAttribute(int attribute);

} // namespace Platform
