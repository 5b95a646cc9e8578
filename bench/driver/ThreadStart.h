#pragma once
// How long a new thread waits before it runs, on this machine as it is now. The engine starts a
// thread for every request; where another process keeps a core busy, each start waits for that
// core's time slice, which curl (one thread) never does.

namespace bench
{

// Starts count threads one after another, each waited for as the engine waits for its workers;
// prints "thread_start_median_us N" and "thread_start_p90_us N". Returns 0.
int MeasureThreadStart(int count);

} // namespace bench
