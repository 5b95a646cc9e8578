#include "DownloadSystem/SpeedMeter.h"

namespace DownloadSystem
{

uint32_t SpeedMeter::Sample(uint64_t nowMs, bool paused, uint64_t bytes)
{
    if (!started)
    {
        started = true;
        previousTick = nowMs;
        baseTick = nowMs;
    }
    // A paused interval moves the start forward, so it never counts as elapsed time.
    if (paused)
        baseTick += nowMs - previousTick;
    previousTick = nowMs;

    uint64_t elapsedSeconds = (nowMs - baseTick) / 1000;
    if (elapsedSeconds < 2)
        elapsedSeconds = 1;
    if (paused)
        return 0;
    return static_cast<uint32_t>(bytes / elapsedSeconds);
}

} // namespace DownloadSystem
