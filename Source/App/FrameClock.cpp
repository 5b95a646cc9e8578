#include "App/FrameClock.h"

namespace nd
{

FrameClock& FrameClock::Instance()
{
    static FrameClock clock;
    return clock;
}

void FrameClock::Start()
{
    Start(Clock::now());
}

void FrameClock::Start(Clock::time_point now)
{
    if (started)
        return;
    startTime = now;
    lastFrame = now;
    frameCount = 0;
    deltaSeconds = 0.0f;
    elapsedSeconds = 0.0f;
    started = true;
}

void FrameClock::Update()
{
    Update(Clock::now());
}

void FrameClock::Update(Clock::time_point now)
{
    using namespace std::chrono;
    if (!started)
        Start(now);
    ++frameCount;
    deltaSeconds = static_cast<float>(duration_cast<microseconds>(now - lastFrame).count()) / 1000000.0f;
    elapsedSeconds = static_cast<float>(duration_cast<milliseconds>(now - startTime).count()) / 1000.0f;
    lastFrame = now;
}

} // namespace nd
