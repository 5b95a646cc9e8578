#include "App/FramePacer.h"

#include <gtest/gtest.h>

#include <ctime>

namespace nd
{
namespace
{

using namespace std::chrono;
using Clock = FramePacer::Clock;

TEST(FramePacer, AnIterationWaitsForTheRestOfTheSixtiethSinceThePreviousBegan)
{
    const Clock::time_point start(seconds(500));
    FramePacer pacer;
    EXPECT_EQ(pacer.Delay(start), Clock::duration::zero()) << "the first iteration";
    pacer.MarkStart(start);
    EXPECT_EQ(pacer.Delay(start), FramePacer::kPeriod);
    EXPECT_EQ(pacer.Delay(start + milliseconds(5)), FramePacer::kPeriod - milliseconds(5));
    EXPECT_EQ(pacer.Delay(start + FramePacer::kPeriod), Clock::duration::zero());
    // A slow iteration is followed at once, and the time lost is not made up later.
    EXPECT_EQ(pacer.Delay(start + milliseconds(40)), Clock::duration::zero());
    pacer.MarkStart(start + milliseconds(40));
    EXPECT_EQ(pacer.Delay(start + milliseconds(41)), FramePacer::kPeriod - milliseconds(1));
    EXPECT_GE(FramePacer::kPeriod * 60, seconds(1));
}

double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TEST(FramePacer, WaitingSleepsThePeriodOutInsteadOfSpinning)
{
    FramePacer pacer;
    const double cpuBefore = ThreadCpuSeconds();
    const auto before = Clock::now();
    for (int i = 0; i < 7; ++i)
        pacer.WaitForNextIteration();
    const auto wall = Clock::now() - before;
    EXPECT_GE(wall, FramePacer::kPeriod * 6);
    EXPECT_LT(ThreadCpuSeconds() - cpuBefore, duration<double>(wall).count() / 2);
}

} // namespace
} // namespace nd
