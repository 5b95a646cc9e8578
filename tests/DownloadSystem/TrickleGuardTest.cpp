#include "DownloadSystem/TrickleGuard.h"

#include <gtest/gtest.h>

namespace
{

using namespace std::chrono_literals;
using DownloadSystem::TrickleGuard;

// Reads of `bytes` every `every` from t0 + `from` on; true while the guard lets them pass, false
// at the first it refuses (then `refusedAt` is its time since t0).
bool Feed(TrickleGuard& guard, TrickleGuard::Clock::time_point t0, std::chrono::milliseconds from,
          std::chrono::milliseconds every, size_t bytes, std::chrono::milliseconds until,
          std::chrono::milliseconds* refusedAt = nullptr)
{
    for (auto t = from; t <= until; t += every)
    {
        if (!guard.Received(bytes, t0 + t))
        {
            if (refusedAt)
                *refusedAt = t;
            return false;
        }
    }
    return true;
}

TEST(TrickleGuard, RefusesFewerThanAKibibyteInAnyWindowFromTheFirstByteOn)
{
    const auto t0 = TrickleGuard::Clock::time_point{} + 1h;
    struct Row
    {
        const char* what;
        std::chrono::milliseconds every;
        size_t bytes;
        bool kept;
    };
    for (const Row& row : {Row{"one byte every 2 s", 2s, 1, false}, Row{"1 KiB every 29 s", 29s, 1024, true},
                           Row{"1 KiB every 31 s", 31s, 1024, false}, Row{"40 bytes a second", 1s, 40, true},
                           Row{"30 bytes a second", 1s, 30, false}})
    {
        TrickleGuard guard(30s);
        EXPECT_EQ(row.kept, Feed(guard, t0, 0ms, row.every, row.bytes, 10min)) << row.what;
    }

    // A fast start buys nothing later: what counts is the last window.
    TrickleGuard guard(30s);
    ASSERT_TRUE(Feed(guard, t0, 0ms, 1ms, 1024, 5s));
    std::chrono::milliseconds refusedAt{0};
    EXPECT_FALSE(Feed(guard, t0, 7s, 2s, 1, 10min, &refusedAt));
    EXPECT_EQ(refusedAt, 35s) << "the last kibibyte came at 5 s";
}

TEST(TrickleGuard, AResumeStartsAWholeWindowAgain)
{
    const auto t0 = TrickleGuard::Clock::time_point{} + 1h;
    TrickleGuard guard(30s);
    ASSERT_TRUE(Feed(guard, t0, 0ms, 1s, 100, 10s));
    guard.Restart(t0 + 100s); // paused from 10 s to 100 s
    std::chrono::milliseconds refusedAt{0};
    EXPECT_FALSE(Feed(guard, t0, 101s, 2s, 1, 10min, &refusedAt));
    EXPECT_EQ(refusedAt, 131s);
}

} // namespace
