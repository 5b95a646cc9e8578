#include "ThreadStart.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace bench
{

int MeasureThreadStart(int count)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> waits;
    for (int i = 0; i < count; ++i)
    {
        Clock::time_point running;
        const Clock::time_point asked = Clock::now();
        std::thread([&running] { running = Clock::now(); }).join();
        waits.push_back(std::chrono::duration<double, std::micro>(running - asked).count());
        // About the gap between two of the engine's requests.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::sort(waits.begin(), waits.end());
    std::printf("thread_start_median_us %.0f\nthread_start_p90_us %.0f\n", waits[waits.size() / 2],
                waits[waits.size() * 9 / 10]);
    return 0;
}

} // namespace bench
