#include "Core/WakeSignal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

TEST(WakeSignal, RaisedFlagEndsTheWaitUntilCleared)
{
    nd::WakeSignal signal;
    EXPECT_FALSE(signal.WaitFor(1ms));
    signal.Raise();
    EXPECT_TRUE(signal.WaitFor(0ms)); // a raise before the wait is not lost
    EXPECT_TRUE(signal.WaitFor(0ms)); // and stays until cleared
    signal.Clear();
    EXPECT_FALSE(signal.WaitFor(1ms));
}

TEST(WakeSignal, RaiseFromAnotherThreadWakesTheWaiterLongBeforeItsLimit)
{
    nd::WakeSignal signal;
    std::thread raiser(
        [&]
        {
            std::this_thread::sleep_for(20ms);
            signal.Raise();
        });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(signal.WaitFor(60s));
    // A lost notification would sit out the whole minute.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    raiser.join();
}
