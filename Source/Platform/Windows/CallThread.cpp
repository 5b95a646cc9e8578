#include "Platform/Windows/CallThread.h"

#include <chrono>
#include <thread>
#include <utility>

namespace Platform
{

namespace
{

constexpr auto kSlice = std::chrono::milliseconds(25);
std::atomic<int> liveThreads{0};

} // namespace

CallThread::~CallThread()
{
    if (!shared)
        return;
    std::lock_guard lock(shared->mutex);
    shared->quit = true;
    shared->wake.notify_all();
    // The thread holds its own reference and is detached: an idle one ends now, a busy one after
    // its call.
}

bool CallThread::EnsureThread()
{
    if (shared)
        return true;
    try
    {
        auto created = std::make_shared<Shared>();
        ++liveThreads;
        try
        {
            std::thread(&CallThread::Loop, created).detach();
        }
        catch (...)
        {
            --liveThreads;
            throw;
        }
        shared = std::move(created);
        return true;
    }
    catch (const std::exception&)
    {
        return false;
    }
}

int CallThread::LiveThreads()
{
    return liveThreads.load();
}

void CallThread::Loop(std::shared_ptr<Shared> shared)
{
    std::unique_lock lock(shared->mutex);
    for (;;)
    {
        shared->wake.wait(lock, [&] { return shared->quit || shared->call; });
        if (!shared->call)
            break;
        std::function<void()> call = std::move(shared->call);
        shared->call = nullptr;
        shared->running = true;
        lock.unlock();
        // Nothing may leave this thread's function: an exception would end the process. The
        // caller throws it again, where the worker's own handling records it.
        std::exception_ptr failure;
        try
        {
            call();
        }
        catch (...)
        {
            failure = std::current_exception();
        }
        // Whatever the call captured goes before the caller hears of its end.
        call = nullptr;
        lock.lock();
        shared->failure = std::move(failure);
        shared->running = false;
        shared->wake.notify_all();
    }
    lock.unlock();
    // The object the caller left may hold the last reference: it goes before the count drops.
    shared.reset();
    --liveThreads;
}

CallThread::Outcome CallThread::Run(std::function<void()> call, const std::atomic<bool>* keepRunning,
                                    const std::atomic<uint64_t>& activity,
                                    const std::function<uint32_t()>& silenceLimitMs)
{
    if (left || !EnsureThread())
    {
        // Without a thread of its own the call blocks the caller: still correct, only not stoppable.
        call();
        return Outcome::Returned;
    }
    std::unique_lock lock(shared->mutex);
    shared->call = std::move(call);
    shared->wake.notify_all();
    uint64_t seen = activity.load();
    auto silentSince = std::chrono::steady_clock::now();
    for (;;)
    {
        const bool done =
            shared->wake.wait_for(lock, kSlice, [&] { return !shared->call && !shared->running; });
        if (done)
        {
            if (shared->failure)
                std::rethrow_exception(std::exchange(shared->failure, nullptr));
            return Outcome::Returned;
        }
        if (keepRunning && !keepRunning->load())
            return Leave(Outcome::Cancelled);
        const auto now = std::chrono::steady_clock::now();
        const uint64_t current = activity.load();
        if (current != seen)
        {
            seen = current;
            silentSince = now;
        }
        else if (now - silentSince >= std::chrono::milliseconds(silenceLimitMs()))
        {
            return Leave(Outcome::TimedOut);
        }
    }
}

bool CallThread::Start(std::function<void()> call)
{
    if (left || !EnsureThread())
        return false;
    std::lock_guard lock(shared->mutex);
    shared->call = std::move(call);
    shared->wake.notify_all();
    left = true;
    return true;
}

// Expects shared->mutex held. A call that has not begun is dropped; one that runs is left to end.
CallThread::Outcome CallThread::Leave(Outcome outcome)
{
    shared->call = nullptr;
    left = true;
    return outcome;
}

} // namespace Platform
