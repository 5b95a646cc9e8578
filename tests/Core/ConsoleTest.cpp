#include "Core/Console.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

// Output is captured through a pipe, so it is not a terminal: no colour sequences appear.
template <typename Print> std::string Captured(Print print)
{
    ::testing::internal::CaptureStdout();
    print();
    return ::testing::internal::GetCapturedStdout();
}

void CallConsolePrint(int colorIndex, bool newline, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    nd::ConsolePrint(colorIndex, newline, format, args);
    va_end(args);
}

} // namespace

TEST(ConsoleOutput, InfoAndErrorPrintTheFormattedLine)
{
    EXPECT_EQ(Captured([] { nd::PrintInfo("loaded %d of %s", 3, "five"); }), "loaded 3 of five\n");
    EXPECT_EQ(Captured([] { nd::PrintError(" Application::Create() -> GLFW: Init failed!\n"); }),
              " Application::Create() -> GLFW: Init failed!\n\n");
}

TEST(ConsoleOutput, NullFormatPrintsNothing)
{
    EXPECT_EQ(Captured([] {
                  nd::PrintInfo(nullptr);
                  nd::PrintError(nullptr);
                  nd::PrintVerbose(nullptr);
                  CallConsolePrint(7, true, nullptr);
              }),
              "");
}

TEST(ConsoleOutput, NewlineFlagAndUnknownColourIndex)
{
    EXPECT_EQ(Captured([] { CallConsolePrint(3, false, "%s", "no break"); }), "no break");
    EXPECT_EQ(Captured([] { CallConsolePrint(99, true, "%d", 7); }), "7\n");
}

TEST(ConsoleOutput, VerboseOnlyAboveLevelTwo)
{
    ASSERT_EQ(nd::GetVerbosityLevel(), 0);
    EXPECT_EQ(Captured([] { nd::PrintVerbose(" Application::Create() -> Engine starting...'\n"); }), "");
    nd::SetVerbosityLevel(2);
    EXPECT_EQ(Captured([] { nd::PrintVerbose("x"); }), "");
    nd::SetVerbosityLevel(3);
    EXPECT_EQ(Captured([] { nd::PrintVerbose("x%d", 1); }), "x1\n");
    nd::SetVerbosityLevel(0);
}
