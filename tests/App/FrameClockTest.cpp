#include "App/FrameClock.h"

#include <gtest/gtest.h>

namespace nd
{
namespace
{

using namespace std::chrono;
using TimePoint = FrameClock::Clock::time_point;

const TimePoint kStart = TimePoint(seconds(1000));

TEST(FrameClock, StartZeroesTheFigures)
{
    FrameClock clock;
    EXPECT_FALSE(clock.IsStarted());
    clock.Start(kStart);
    EXPECT_TRUE(clock.IsStarted());
    EXPECT_EQ(clock.GetFrameCount(), 0u);
    EXPECT_FLOAT_EQ(clock.GetDeltaSeconds(), 0.0f);
    EXPECT_FLOAT_EQ(clock.GetElapsedSeconds(), 0.0f);
}

TEST(FrameClock, DeltaCountsWholeMicrosecondsAndElapsedWholeMilliseconds)
{
    FrameClock clock;
    clock.Start(kStart);
    clock.Update(kStart + nanoseconds(16'667'999));
    EXPECT_EQ(clock.GetFrameCount(), 1u);
    EXPECT_FLOAT_EQ(clock.GetDeltaSeconds(), 0.016667f);
    EXPECT_FLOAT_EQ(clock.GetElapsedSeconds(), 0.016f);

    clock.Update(kStart + nanoseconds(1'234'999'999));
    EXPECT_EQ(clock.GetFrameCount(), 2u);
    EXPECT_FLOAT_EQ(clock.GetDeltaSeconds(), 1.218332f);
    EXPECT_FLOAT_EQ(clock.GetElapsedSeconds(), 1.234f);
}

TEST(FrameClock, SecondStartKeepsTheFirst)
{
    FrameClock clock;
    clock.Start(kStart);
    clock.Update(kStart + milliseconds(500));
    clock.Start(kStart + seconds(10));
    EXPECT_EQ(clock.GetFrameCount(), 1u);
    clock.Update(kStart + seconds(1));
    EXPECT_FLOAT_EQ(clock.GetElapsedSeconds(), 1.0f);
    EXPECT_FLOAT_EQ(clock.GetDeltaSeconds(), 0.5f);
}

TEST(FrameClock, UpdateWithoutStartMeasuresFromThatUpdate)
{
    FrameClock clock;
    clock.Update(kStart);
    EXPECT_TRUE(clock.IsStarted());
    EXPECT_EQ(clock.GetFrameCount(), 1u);
    EXPECT_FLOAT_EQ(clock.GetDeltaSeconds(), 0.0f);
    clock.Update(kStart + milliseconds(20));
    EXPECT_FLOAT_EQ(clock.GetDeltaSeconds(), 0.02f);
}

TEST(FrameClock, RealClockAdvances)
{
    FrameClock clock;
    clock.Start();
    const TimePoint before = FrameClock::Clock::now();
    while (FrameClock::Clock::now() - before < milliseconds(3))
    {
    }
    clock.Update();
    EXPECT_GE(clock.GetDeltaSeconds(), 0.003f);
}

} // namespace
} // namespace nd
