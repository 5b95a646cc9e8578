#pragma once
// Base of every background worker: owns one thread that runs the derived class's Run, with a
// cooperative stop. The owner clears the running flag (Stop); Run polls IsRunning between its
// steps and returns. Stop waits at most its time-out; a thread that has not ended by then is
// left to finish on its own (there is no forced termination). From then on the owner sees it
// as gone (IsRunning false, Wait returns at once), but it still runs on this object, so:
//
//   Every derived class must, in its own destructor, first call Stop (with its own time-out)
//   and then WaitUntilFinished(), before any of its fields are destroyed.
//
// Start, Stop, Wait and the destructor are for the owning thread(s); IsRunning is for anyone.
// All of them are safe to call concurrently with each other and with the thread's own end.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace nd
{

class Hld_Thread
{
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFF;
    // Results of Wait.
    static constexpr uint32_t kWaitEnded = 0;
    static constexpr uint32_t kWaitTimedOut = 258;

    Hld_Thread() = default;
    Hld_Thread(const Hld_Thread&) = delete;
    Hld_Thread& operator=(const Hld_Thread&) = delete;

    // Sets running and starts a thread that calls Run once. Does nothing while a started
    // thread is still marked running. A thread that Stop had to leave behind is waited for
    // first. If no thread can be created the object stays not running.
    virtual void Start();
    // The worker's body; returns when IsRunning reads false (or when its work is done).
    virtual void Run() = 0;
    // Clears running and waits up to timeoutMs (kInfinite: no limit) for the thread to end.
    // Returns at once when not running. Called from the worker itself, it only clears the flag.
    virtual void Stop(uint32_t timeoutMs);
    // Stop(kInfinite), then waits for a thread left behind by an earlier Stop.
    virtual ~Hld_Thread();

    bool IsRunning() const { return running.load(std::memory_order_acquire); }

    // Waits up to timeoutMs for the thread to end: kWaitEnded, or kWaitTimedOut. Without a
    // thread (never started, already collected, or left behind by Stop) returns kWaitEnded.
    // Does not touch the running flag.
    uint32_t Wait(uint32_t timeoutMs);

protected:
    // Waits without limit until no thread of this object is executing, including one that a
    // timed-out Stop left behind. Derived destructors call it after their Stop.
    void WaitUntilFinished();
    // The running flag itself, for blocking calls that poll it (Platform::HttpRequest).
    const std::atomic<bool>* RunningFlag() const { return &running; }

private:
    static void ThreadEntry(Hld_Thread* self);
    // Both expect stateMutex held through lock.
    bool WaitForEnd(std::unique_lock<std::mutex>& lock, uint32_t timeoutMs);
    void CollectThread();

    std::atomic<bool> running{false};
    std::mutex stateMutex;
    std::condition_variable ended;
    std::thread worker;    // the thread the owner still holds; joinable until collected
    bool executing = false; // a thread of ours (held or left behind) has not finished its entry
};

} // namespace nd
