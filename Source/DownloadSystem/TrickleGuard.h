#pragma once
// Tells a body that still arrives from one that only trickles in. A storage that sends a byte now
// and then never falls silent long enough for the receive time-out, and would hold an attempt for
// weeks; from its first byte on, an attempt must receive kMinimumBytes in every window (time spent
// paused does not count: the window starts again after a resume).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace DownloadSystem
{

class TrickleGuard
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t kMinimumBytes = 1024;
    static constexpr std::chrono::milliseconds kWindow{30000};

    explicit TrickleGuard(std::chrono::milliseconds window) : window(window) {}

    // Counts the bytes of one read that returned at now. False when the window that ended at now
    // brought fewer than kMinimumBytes, once a whole window has passed since the first byte (or
    // the last resume).
    bool Received(size_t bytes, Clock::time_point now);
    // A resume: the reads before it no longer count, and a whole window must pass again.
    void Restart(Clock::time_point now);

private:
    std::chrono::milliseconds window;
    std::optional<Clock::time_point> since; // the first byte or the last resume
    // The latest reads, just enough of them to make up kMinimumBytes (so at most that many).
    std::deque<std::pair<Clock::time_point, size_t>> recent;
    size_t recentBytes = 0;
};

} // namespace DownloadSystem
