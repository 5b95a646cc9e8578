#pragma once
// The average-speed bookkeeping of the front-end: elapsed time runs from the first sample, and
// the time between two samples taken while paused is moved out of it.

#include <cstdint>

namespace DownloadSystem
{

class SpeedMeter
{
public:
    // nowMs: a millisecond tick; bytes: the downloaded byte count. 0 while paused.
    uint32_t Sample(uint64_t nowMs, bool paused, uint64_t bytes);

private:
    bool started = false;
    uint64_t previousTick = 0;
    uint64_t baseTick = 0;
};

} // namespace DownloadSystem
