#pragma once
// A flag that one thread raises to end another thread's timed wait early. The waiter still wakes
// when the time is up, so a wait on it is a sleep that may end sooner, never a longer one.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace nd
{

class WakeSignal
{
public:
    // Lowers the flag: the next wait lasts until a later Raise or its time-out.
    void Clear();
    // Raises the flag and wakes every waiter. Any thread.
    void Raise();
    // Waits until the flag is raised (returns true at once if it already is) or limit has passed.
    bool WaitFor(std::chrono::milliseconds limit);

private:
    std::mutex lock;
    std::condition_variable raisedSignal;
    bool raised = false; // guarded by lock
};

} // namespace nd
