#include "Core/Hld_Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "Core/ErrorLog.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace
{

// A worker whose body the test supplies. Follows the rule for derived classes: stop, then wait
// for a thread left behind, before its own fields go.
class TestWorker : public nd::Hld_Thread
{
public:
    explicit TestWorker(std::function<void(TestWorker&)> body = {}) : body(std::move(body)) {}
    ~TestWorker() override
    {
        Stop(kInfinite);
        WaitUntilFinished();
    }

    void Run() override
    {
        int now = ++concurrent;
        if (now > maxConcurrent)
            maxConcurrent = now;
        ++runs;
        if (body)
            body(*this);
        --concurrent;
        finishedRuns++;
    }

    std::function<void(TestWorker&)> body;
    std::atomic<int> runs{0};
    std::atomic<int> finishedRuns{0};
    std::atomic<int> concurrent{0};
    std::atomic<int> maxConcurrent{0};
};

void PollUntilStopped(TestWorker& self)
{
    while (self.IsRunning())
        std::this_thread::sleep_for(1ms);
}

// Busy until released, whatever the running flag says (stands in for a blocking call).
struct Gate
{
    std::atomic<bool> open{false};
    std::atomic<bool> entered{false};
    void Pass()
    {
        entered = true;
        while (!open)
            std::this_thread::sleep_for(1ms);
    }
    void WaitEntered()
    {
        while (!entered)
            std::this_thread::sleep_for(1ms);
    }
};

} // namespace

// [SECTION] Stop and wait

TEST(WorkerThreadStop, NeverStartedStopsAtOnce)
{
    TestWorker worker;
    auto begin = Clock::now();
    worker.Stop(nd::Hld_Thread::kInfinite);
    EXPECT_LT(Clock::now() - begin, 1s);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.Wait(nd::Hld_Thread::kInfinite), nd::Hld_Thread::kWaitEnded);
    EXPECT_EQ(worker.runs, 0);
}

TEST(WorkerThreadStop, RunReturningByItselfClearsRunning)
{
    TestWorker worker;
    worker.Start();
    EXPECT_EQ(worker.Wait(nd::Hld_Thread::kInfinite), nd::Hld_Thread::kWaitEnded);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.runs, 1);
    auto begin = Clock::now();
    worker.Stop(nd::Hld_Thread::kInfinite);
    EXPECT_LT(Clock::now() - begin, 1s);
    EXPECT_EQ(worker.Wait(0), nd::Hld_Thread::kWaitEnded);
}

TEST(WorkerThreadStop, PollingWorkerEndsWithinTheTimeOut)
{
    TestWorker worker(PollUntilStopped);
    worker.Start();
    EXPECT_TRUE(worker.IsRunning());
    std::this_thread::sleep_for(20ms);
    worker.Stop(5000);
    EXPECT_FALSE(worker.IsRunning());
    // Stop returned because Run returned, not because the time ran out.
    EXPECT_EQ(worker.finishedRuns, 1);
}

TEST(WorkerThreadStop, TimedOutStopLeavesTheThreadAndTheOwnerSeesItGone)
{
    Gate gate;
    auto worker = std::make_unique<TestWorker>([&](TestWorker&) { gate.Pass(); });
    worker->Start();
    gate.WaitEntered();
    auto begin = Clock::now();
    worker->Stop(0);
    EXPECT_LT(Clock::now() - begin, 1s);
    EXPECT_FALSE(worker->IsRunning());
    EXPECT_EQ(worker->Wait(nd::Hld_Thread::kInfinite), nd::Hld_Thread::kWaitEnded);
    EXPECT_EQ(worker->finishedRuns, 0);
    // Destruction must wait for the thread left behind before the fields it uses die.
    std::thread release([&] {
        std::this_thread::sleep_for(50ms);
        gate.open = true;
    });
    worker.reset();
    release.join();
}

TEST(WorkerThreadStop, DestroyingARunningWorkerWaitsForRun)
{
    std::atomic<bool> returned{false};
    {
        TestWorker worker([&](TestWorker& self) {
            PollUntilStopped(self);
            std::this_thread::sleep_for(30ms);
            returned = true;
        });
        worker.Start();
    }
    EXPECT_TRUE(returned);
}

TEST(WorkerThreadWait, TimesOutWhileRunAndEndsAfterwards)
{
    TestWorker worker(PollUntilStopped);
    worker.Start();
    EXPECT_EQ(worker.Wait(20), nd::Hld_Thread::kWaitTimedOut);
    EXPECT_TRUE(worker.IsRunning());
    worker.Stop(0xFFFFFFFF);
    EXPECT_EQ(worker.Wait(20), nd::Hld_Thread::kWaitEnded);
}

TEST(WorkerThreadWait, WaitDoesNotTouchTheRunningFlag)
{
    std::atomic<bool> finish{false};
    TestWorker worker([&](TestWorker&) {
        while (!finish)
            std::this_thread::sleep_for(1ms);
    });
    worker.Start();
    EXPECT_EQ(worker.Wait(10), nd::Hld_Thread::kWaitTimedOut);
    EXPECT_TRUE(worker.IsRunning());
    finish = true;
    EXPECT_EQ(worker.Wait(nd::Hld_Thread::kInfinite), nd::Hld_Thread::kWaitEnded);
    EXPECT_FALSE(worker.IsRunning());
}

TEST(WorkerThreadStop, WorkerMayStopItself)
{
    TestWorker worker([](TestWorker& self) { self.Stop(nd::Hld_Thread::kInfinite); });
    worker.Start();
    EXPECT_EQ(worker.Wait(5000), nd::Hld_Thread::kWaitEnded);
    EXPECT_EQ(worker.finishedRuns, 1);
}

TEST(WorkerThreadStop, ExceptionFromRunIsRecordedAndEndsTheThread)
{
    nd::ClearErrors();
    TestWorker worker([](TestWorker&) { throw std::runtime_error("boom"); });
    worker.Start();
    EXPECT_EQ(worker.Wait(nd::Hld_Thread::kInfinite), nd::Hld_Thread::kWaitEnded);
    EXPECT_FALSE(worker.IsRunning());
    std::vector<nd::ErrorRecord> records = nd::GetLogRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NE(records[0]["message"].get<std::string>().find("boom"), std::string::npos);
    EXPECT_EQ(records[0]["error_number"], nd::kErrorMajorMalfunction);
    nd::ClearErrors();
}

// [SECTION] Restart

TEST(WorkerThreadRestart, StartAfterTheEarlierThreadEndedRunsAgain)
{
    TestWorker worker;
    for (int i = 1; i <= 5; ++i)
    {
        worker.Start();
        EXPECT_EQ(worker.Wait(nd::Hld_Thread::kInfinite), nd::Hld_Thread::kWaitEnded);
        EXPECT_EQ(worker.runs, i);
    }
}

TEST(WorkerThreadRestart, StartWhileRunningDoesNotStartASecondThread)
{
    TestWorker worker(PollUntilStopped);
    worker.Start();
    worker.Start();
    worker.Start();
    std::this_thread::sleep_for(20ms);
    worker.Stop(nd::Hld_Thread::kInfinite);
    EXPECT_EQ(worker.runs, 1);
}

TEST(WorkerThreadRestart, StartWaitsForAThreadLeftBehind)
{
    Gate gate;
    TestWorker worker([&](TestWorker& self) {
        if (self.runs == 1)
            gate.Pass();
        else
            PollUntilStopped(self);
    });
    worker.Start();
    gate.WaitEntered();
    worker.Stop(0);
    std::atomic<bool> restarted{false};
    std::thread restarter([&] {
        worker.Start();
        restarted = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(restarted) << "Start must wait for the old thread";
    gate.open = true;
    restarter.join();
    EXPECT_TRUE(worker.IsRunning());
    worker.Stop(nd::Hld_Thread::kInfinite);
    EXPECT_EQ(worker.runs, 2);
    EXPECT_EQ(worker.maxConcurrent, 1);
}

// [SECTION] Races (meant for ThreadSanitizer as well)

TEST(WorkerThreadRaces, StopRacingTheThreadsOwnEnd)
{
    for (int i = 0; i < 300; ++i)
    {
        TestWorker worker; // Run returns at once, so its end races the Stop below
        worker.Start();
        if (i % 3 == 0)
            std::this_thread::yield();
        worker.Stop(i % 2 ? 0 : nd::Hld_Thread::kInfinite);
        EXPECT_FALSE(worker.IsRunning());
        EXPECT_EQ(worker.Wait(nd::Hld_Thread::kInfinite), nd::Hld_Thread::kWaitEnded);
    }
}

TEST(WorkerThreadRaces, ConcurrentStopAndWaitFromTwoThreads)
{
    for (int i = 0; i < 200; ++i)
    {
        TestWorker worker(PollUntilStopped);
        worker.Start();
        std::thread waiter([&] { EXPECT_EQ(worker.Wait(nd::Hld_Thread::kInfinite), nd::Hld_Thread::kWaitEnded); });
        std::thread stopper([&] { worker.Stop(i % 2 ? 1 : nd::Hld_Thread::kInfinite); });
        stopper.join();
        waiter.join();
        EXPECT_FALSE(worker.IsRunning());
    }
}

TEST(WorkerThreadRaces, RandomStartStopWaitNeverOverlapsRuns)
{
    std::mt19937 random(42);
    TestWorker worker([](TestWorker& self) {
        for (int spin = 0; spin < 3 && self.IsRunning(); ++spin)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    });
    for (int i = 0; i < 500; ++i)
    {
        switch (random() % 4)
        {
        case 0:
        case 1:
            worker.Start();
            break;
        case 2:
            worker.Stop(random() % 2);
            break;
        case 3:
            worker.Wait(random() % 2);
            break;
        }
    }
    worker.Stop(nd::Hld_Thread::kInfinite);
    EXPECT_EQ(worker.maxConcurrent, 1);
    EXPECT_FALSE(worker.IsRunning());
}

TEST(WorkerThreadRaces, ManyWorkersDestroyedWhileRunning)
{
    std::vector<std::unique_ptr<TestWorker>> workers;
    for (int i = 0; i < 32; ++i)
    {
        workers.push_back(std::make_unique<TestWorker>(PollUntilStopped));
        workers.back()->Start();
    }
    std::vector<std::thread> askers;
    std::atomic<bool> done{false};
    for (int i = 0; i < 2; ++i)
    {
        askers.emplace_back([&] {
            while (!done)
                for (auto& worker : workers)
                    worker->IsRunning();
        });
    }
    for (auto& worker : workers)
        worker->Stop(2);
    done = true;
    for (std::thread& asker : askers)
        asker.join();
    for (auto& worker : workers)
        EXPECT_FALSE(worker->IsRunning());
    workers.clear();
}
