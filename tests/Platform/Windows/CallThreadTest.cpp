// The thread each blocking WinINet call runs on: what a call throws reaches the caller instead of
// ending the process, and the thread of a call the caller left ends once the call returns.

#include "Platform/Windows/CallThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

namespace
{

using namespace std::chrono_literals;

bool LiveThreadsReach(int count)
{
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (Platform::CallThread::LiveThreads() != count)
    {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(WindowsCallThread, AnExceptionOfTheCallIsThrownToTheCallerAndTheThreadServesOn)
{
    std::atomic<uint64_t> activity{0};
    const auto limit = [] { return 60000u; };
    Platform::CallThread thread;
    EXPECT_THROW(thread.Run([] { throw std::bad_alloc(); }, nullptr, activity, limit), std::bad_alloc);
    bool ran = false;
    EXPECT_EQ(thread.Run([&] { ran = true; }, nullptr, activity, limit),
              Platform::CallThread::Outcome::Returned);
    EXPECT_TRUE(ran);
}

TEST(WindowsCallThread, TheThreadOfALeftCallEndsWhenTheCallReturns)
{
    // Threads of earlier tests end on their own once their objects are gone.
    ASSERT_TRUE(LiveThreadsReach(0));
    const int before = 0;
    auto release = std::make_shared<std::atomic<bool>>(false);
    std::atomic<uint64_t> activity{0};
    std::atomic<bool> running{true};
    {
        Platform::CallThread thread;
        std::thread stopper(
            [&]
            {
                std::this_thread::sleep_for(100ms);
                running = false;
            });
        // A call that throws after it was left: nobody hears of it, and the process lives on.
        const auto outcome = thread.Run(
            [release]
            {
                while (!*release)
                    std::this_thread::sleep_for(5ms);
                throw std::bad_alloc();
            },
            &running, activity, [] { return 60000u; });
        stopper.join();
        EXPECT_EQ(outcome, Platform::CallThread::Outcome::Cancelled);
        EXPECT_FALSE(thread.Usable());
    }
    EXPECT_EQ(Platform::CallThread::LiveThreads(), before + 1) << "the left call still runs";
    *release = true;
    EXPECT_TRUE(LiveThreadsReach(before));
}

} // namespace
