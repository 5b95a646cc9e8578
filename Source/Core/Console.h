#pragma once
// Coloured diagnostic lines on standard output, for developers. Colours become terminal
// sequences only when standard output is a terminal; without any output nothing happens.
// Any thread may print; one line's colour, text and reset stay together.

#include <cstdarg>
#include <cstdint>

namespace nd
{

// colorIndex 0 to 14 picks the console attribute of the colour table (others print uncoloured).
// Prints nothing for a null format. With newline set a line feed follows the text.
void ConsolePrint(int colorIndex, bool newline, const char* format, va_list args);

// Light grey, always.
void PrintInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Bright red, always.
void PrintError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Bright magenta, only when the verbosity level is above 2 (never at the default 0).
void PrintVerbose(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The verbosity level, 0 unless changed (nothing in the program changes it).
uint8_t GetVerbosityLevel();
void SetVerbosityLevel(uint8_t level);

} // namespace nd
