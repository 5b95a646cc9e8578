#include "App/FrameClock.h"

#include <gtest/gtest.h>

namespace nd
{
namespace
{

using namespace std::chrono;
using TimePoint = FrameClock::Clock::time_point;

const TimePoint kStart = TimePoint(seconds(1000));

// All three figures at once; `when` names the moment in a failure.
void ExpectFigures(const FrameClock& clock, const char* when, uint64_t frames, float delta, float elapsed)
{
    SCOPED_TRACE(when);
    EXPECT_EQ(clock.GetFrameCount(), frames);
    EXPECT_FLOAT_EQ(clock.GetDeltaSeconds(), delta);
    EXPECT_FLOAT_EQ(clock.GetElapsedSeconds(), elapsed);
}

TEST(FrameClock, StartZeroesTheFigures)
{
    FrameClock clock;
    EXPECT_FALSE(clock.IsStarted());
    clock.Start(kStart);
    EXPECT_TRUE(clock.IsStarted());
    ExpectFigures(clock, "after the start", 0, 0.0f, 0.0f);
}

TEST(FrameClock, DeltaCountsWholeMicrosecondsAndElapsedWholeMilliseconds)
{
    FrameClock clock;
    clock.Start(kStart);
    clock.Update(kStart + nanoseconds(16'667'999));
    ExpectFigures(clock, "after the first update", 1, 0.016667f, 0.016f);
    clock.Update(kStart + nanoseconds(1'234'999'999));
    ExpectFigures(clock, "after the second update", 2, 1.218332f, 1.234f);
}

TEST(FrameClock, SecondStartKeepsTheFirst)
{
    FrameClock clock;
    clock.Start(kStart);
    clock.Update(kStart + milliseconds(500));
    clock.Start(kStart + seconds(10));
    EXPECT_EQ(clock.GetFrameCount(), 1u);
    clock.Update(kStart + seconds(1));
    ExpectFigures(clock, "after the update following the second start", 2, 0.5f, 1.0f);
}

TEST(FrameClock, UpdateWithoutStartMeasuresFromThatUpdate)
{
    FrameClock clock;
    clock.Update(kStart);
    EXPECT_TRUE(clock.IsStarted());
    ExpectFigures(clock, "after the first update", 1, 0.0f, 0.0f);
    clock.Update(kStart + milliseconds(20));
    ExpectFigures(clock, "after the second update", 2, 0.02f, 0.02f);
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
