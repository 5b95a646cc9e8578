#pragma once
// Keeps the frame loop to at most sixty iterations a second whatever the buffer swap does: it does
// not wait for the display on every system (virtual machines, remote desktops, Xvfb, drivers with
// vertical sync off), and an unchanged frame is not swapped at all. The rest of the period is
// slept, never spun. Main thread only.

#include <chrono>

namespace nd
{

class FramePacer
{
  public:
    using Clock = std::chrono::steady_clock;
    // 1/60 s, rounded up to the next nanosecond.
    static constexpr Clock::duration kPeriod = std::chrono::nanoseconds(16'666'667);

    // How long an iteration that would begin at now must still wait: nothing for the first one,
    // else what is left of kPeriod since the previous one began (nothing after a slow iteration;
    // the time lost is not made up by shorter periods later).
    Clock::duration Delay(Clock::time_point now) const;
    // Records that an iteration began at now.
    void MarkStart(Clock::time_point now);

    // Sleeps until the next iteration may begin, then marks its start.
    void WaitForNextIteration();

  private:
    bool begun = false;
    Clock::time_point previousStart{};
};

} // namespace nd
