#include "App/FramePacer.h"

#include <thread>

namespace nd
{

FramePacer::Clock::duration FramePacer::Delay(Clock::time_point now) const
{
    if (!begun)
        return Clock::duration::zero();
    const Clock::time_point earliest = previousStart + kPeriod;
    return now < earliest ? earliest - now : Clock::duration::zero();
}

void FramePacer::MarkStart(Clock::time_point now)
{
    previousStart = now;
    begun = true;
}

void FramePacer::WaitForNextIteration()
{
    // The start is taken after the sleep, so that a late wake-up never shortens the next period.
    for (Clock::duration delay = Delay(Clock::now()); delay > Clock::duration::zero();
         delay = Delay(Clock::now()))
        std::this_thread::sleep_for(delay);
    MarkStart(Clock::now());
}

} // namespace nd
