#pragma once
// A thread of its own for calls that block beyond the caller's control. Synchronous WinINet calls
// wait for the network with time-outs that are not always kept (under wine a silent server holds
// a read until it closes) and cannot be cut short from outside; so they run here, and the caller
// waits for them in short slices: it can stop waiting when its running flag is cleared or when
// nothing has moved for too long, and return at once. A call it left keeps running here until the
// network lets it go; the thread then ends on its own. Windows-only helper of this folder.
//
// Whatever a call touches must stay alive until it returns, also after the caller left: calls
// hold it through a shared_ptr. One caller thread at a time. An exception out of a call is
// thrown again by Run on the caller's thread (a left call's is dropped).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace Platform
{

class CallThread
{
public:
    enum class Outcome
    {
        Returned,  // the call returned
        Cancelled, // the caller's running flag was cleared first
        TimedOut,  // silenceLimitMs() passed without activity changing
    };

    CallThread() = default;
    // Ends the idle thread, or leaves a running call to finish on its own.
    ~CallThread();
    CallThread(const CallThread&) = delete;
    CallThread& operator=(const CallThread&) = delete;

    // Runs call on the thread and waits. keepRunning (may be null) is read at least every 25 ms;
    // activity is a counter that the call bumps whenever something moves, and silenceLimitMs()
    // tells how long it may stand still at that moment (it may change while the call runs).
    // After Cancelled or TimedOut the call still runs: the object can run nothing else and
    // should be destroyed.
    Outcome Run(std::function<void()> call, const std::atomic<bool>* keepRunning,
                const std::atomic<uint64_t>& activity, const std::function<uint32_t()>& silenceLimitMs);

    // Starts call on the thread without waiting for it, for a caller that watches the call's work
    // itself (a body read ahead). The call is left at once, as after Cancelled; false without a
    // thread.
    bool Start(std::function<void()> call);

    // False after a call was left: the thread is no longer at this object's disposal.
    bool Usable() const { return !left; }

    // Threads of all CallThreads that have not ended yet, left calls' included.
    static int LiveThreads();

private:
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable wake;
        std::function<void()> call; // set while a call waits or runs
        bool running = false;       // the call has begun and not returned
        bool quit = false;
        std::exception_ptr failure; // what the last call threw
    };
    static void Loop(std::shared_ptr<Shared> shared);
    Outcome Leave(Outcome outcome);
    bool EnsureThread();

    std::shared_ptr<Shared> shared;
    bool left = false;
};

} // namespace Platform
