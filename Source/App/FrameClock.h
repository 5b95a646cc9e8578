#pragma once
// Frame timing for the screens' fades and timers; written by the frame loop, read on the same thread.

#include <chrono>
#include <cstdint>

namespace nd
{

class FrameClock
{
  public:
    using Clock = std::chrono::steady_clock;

    // The one process-wide clock driven by Application.
    static FrameClock& Instance();

    // Sets both time points to now and zeroes the figures; does nothing once started.
    void Start();
    void Start(Clock::time_point now);

    // Counts a frame and measures it against the previous Update. A clock that was never started is
    // started first, so the first delta is 0 rather than the age of the clock's epoch.
    void Update();
    void Update(Clock::time_point now);

    bool IsStarted() const { return started; }
    uint64_t GetFrameCount() const { return frameCount; }
    // Time between the last two updates, in whole microseconds, as seconds.
    float GetDeltaSeconds() const { return deltaSeconds; }
    // Time since Start, in whole milliseconds, as seconds.
    float GetElapsedSeconds() const { return elapsedSeconds; }

  private:
    bool started = false;
    uint64_t frameCount = 0;
    float deltaSeconds = 0.0f;
    float elapsedSeconds = 0.0f;
    Clock::time_point startTime{};
    Clock::time_point lastFrame{};
};

} // namespace nd
