#include "Core/Console.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "Platform/Terminal.h"

namespace nd
{

namespace
{

std::mutex& OutputMutex()
{
    static std::mutex* mutex = new std::mutex();
    return *mutex;
}

[[maybe_unused]] std::mutex& kEarlyMutex = OutputMutex();

std::atomic<uint8_t> verbosityLevel{0};

// Console text attributes by colour index: bit 0 blue, 1 green, 2 red, 3 bright.
constexpr int kColorAttributes[] = {0, 4, 2, 6, 1, 5, 3, 7, 14, 12, 10, 9, 13, 11, 15};
constexpr int kDefaultAttribute = 7;

void PrintWith(int colorIndex, const char* format, va_list args)
{
    ConsolePrint(colorIndex, true, format, args);
}

} // namespace

void ConsolePrint(int colorIndex, bool newline, const char* format, va_list args)
{
    if (format == nullptr)
        return;
    std::lock_guard<std::mutex> lock(OutputMutex());
    bool colour = colorIndex >= 0 && colorIndex < static_cast<int>(std::size(kColorAttributes)) &&
                  Platform::StdoutIsTerminal();
    if (colour)
        Platform::SetStdoutTextAttribute(kColorAttributes[colorIndex]);
    std::vfprintf(stdout, format, args);
    if (newline)
        std::fputc('\n', stdout);
    if (colour)
        Platform::SetStdoutTextAttribute(kDefaultAttribute);
    std::fflush(stdout);
}

void PrintInfo(const char* format, ...)
{
    if (format == nullptr)
        return;
    va_list args;
    va_start(args, format);
    PrintWith(7, format, args);
    va_end(args);
}

void PrintError(const char* format, ...)
{
    if (format == nullptr)
        return;
    va_list args;
    va_start(args, format);
    PrintWith(9, format, args);
    va_end(args);
}

void PrintVerbose(const char* format, ...)
{
    if (format == nullptr || GetVerbosityLevel() <= 2)
        return;
    va_list args;
    va_start(args, format);
    PrintWith(12, format, args);
    va_end(args);
}

uint8_t GetVerbosityLevel()
{
    return verbosityLevel.load(std::memory_order_relaxed);
}

void SetVerbosityLevel(uint8_t level)
{
    verbosityLevel.store(level, std::memory_order_relaxed);
}

} // namespace nd
