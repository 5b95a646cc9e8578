#include "DownloadSystem/TrickleGuard.h"

namespace DownloadSystem
{

bool TrickleGuard::Received(size_t bytes, Clock::time_point now)
{
    if (!since)
        since = now;
    // The read returns only now: the window that has just passed held the earlier reads alone.
    while (!recent.empty() && now - recent.front().first >= window)
    {
        recentBytes -= recent.front().second;
        recent.pop_front();
    }
    const bool starved = now - *since >= window && recentBytes < kMinimumBytes;
    recent.emplace_back(now, bytes);
    recentBytes += bytes;
    // Older reads are not needed while the newer ones alone make up the minimum.
    while (recent.size() > 1 && recentBytes - recent.front().second >= kMinimumBytes)
    {
        recentBytes -= recent.front().second;
        recent.pop_front();
    }
    return !starved;
}

void TrickleGuard::Restart(Clock::time_point now)
{
    if (!since)
        return; // before the first byte the request's own time-outs hold
    since = now;
    recent.clear();
    recentBytes = 0;
}

} // namespace DownloadSystem
