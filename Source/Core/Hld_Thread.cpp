#include "Core/Hld_Thread.h"

#include <chrono>
#include <exception>
#include <string>

#include "Core/ErrorLog.h"
#include "Platform/ExceptionTranslator.h"

namespace nd
{

// At most one thread of an object executes at any time: Start waits for a thread left behind
// by Stop before it creates the next. stateMutex guards worker and executing; the thread's own
// last act is to clear executing under it, after which it never touches the object again.

void Hld_Thread::ThreadEntry(Hld_Thread* self)
{
    // Every worker's Run catches standard exceptions around its body; with the translator a
    // processor exception inside it becomes one of them instead of ending the process.
    Platform::InstallExceptionTranslator();
    try
    {
        self->Run();
    }
    catch (const std::exception& caught)
    {
        LogError(std::string("Hld_Thread::ThreadEntry -> unhandled exception: ") + caught.what(),
                 kErrorMajorMalfunction, __FILE__, __LINE__);
    }
    catch (...)
    {
        LogError("Hld_Thread::ThreadEntry -> unhandled exception", kErrorMajorMalfunction, __FILE__, __LINE__);
    }
    std::lock_guard<std::mutex> lock(self->stateMutex);
    self->running.store(false, std::memory_order_release);
    self->executing = false;
    // Notified under the lock: a waiter that then destroys the object cannot do so before
    // this call has returned.
    self->ended.notify_all();
}

void Hld_Thread::Start()
{
    std::unique_lock<std::mutex> lock(stateMutex);
    if (executing && (running.load(std::memory_order_acquire) || worker.get_id() == std::this_thread::get_id()))
        return;
    ended.wait(lock, [this] { return !executing; });
    CollectThread();
    running.store(true, std::memory_order_release);
    executing = true;
    try
    {
        worker = std::thread(&Hld_Thread::ThreadEntry, this);
    }
    catch (const std::exception&)
    {
        running.store(false, std::memory_order_release);
        executing = false;
    }
}

void Hld_Thread::Stop(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(stateMutex);
    if (!running.load(std::memory_order_acquire) || !worker.joinable())
        return;
    running.store(false, std::memory_order_release);
    // The worker stopping itself cannot wait for its own end.
    if (worker.get_id() == std::this_thread::get_id())
        return;
    if (WaitForEnd(lock, timeoutMs))
        CollectThread();
    else if (worker.joinable())
        worker.detach(); // left to finish on its own; Start and WaitUntilFinished wait for it
}

Hld_Thread::~Hld_Thread()
{
    Hld_Thread::Stop(kInfinite);
    WaitUntilFinished();
}

uint32_t Hld_Thread::Wait(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(stateMutex);
    if (!worker.joinable())
        return kWaitEnded;
    if (worker.get_id() == std::this_thread::get_id())
        return kWaitTimedOut;
    if (!WaitForEnd(lock, timeoutMs))
        return kWaitTimedOut;
    CollectThread();
    return kWaitEnded;
}

void Hld_Thread::WaitUntilFinished()
{
    std::unique_lock<std::mutex> lock(stateMutex);
    if (worker.joinable() && worker.get_id() == std::this_thread::get_id())
    {
        worker.detach();
        return;
    }
    ended.wait(lock, [this] { return !executing; });
    CollectThread();
}

bool Hld_Thread::WaitForEnd(std::unique_lock<std::mutex>& lock, uint32_t timeoutMs)
{
    if (timeoutMs == kInfinite)
    {
        ended.wait(lock, [this] { return !executing; });
        return true;
    }
    return ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !executing; });
}

void Hld_Thread::CollectThread()
{
    // The thread has passed its last use of the object; joining only waits for it to exit.
    if (worker.joinable())
        worker.join();
}

} // namespace nd
