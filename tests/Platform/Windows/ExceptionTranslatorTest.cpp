// A worker that touches a null pointer: the processor exception reaches the worker's own catch as
// a standard exception with the design's text, what the worker held is released on the way, and
// the process lives on.

#include "Core/ErrorLog.h"
#include "Core/Hld_Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace
{

volatile int* nowhere = nullptr;

struct Releases
{
    std::atomic<int>& count;
    ~Releases() { ++count; }
};

__attribute__((noinline)) int Touch(volatile int* pointer)
{
    return *pointer;
}

class FaultingWorker : public nd::Hld_Thread
{
public:
    explicit FaultingWorker(bool ownCatch) : ownCatch(ownCatch) {}
    ~FaultingWorker() override
    {
        Stop(kInfinite);
        WaitUntilFinished();
    }

    void Run() override
    {
        if (!ownCatch)
        {
            Releases held{released};
            Touch(nowhere);
            return;
        }
        try
        {
            Releases held{released};
            Touch(nowhere);
        }
        catch (const std::exception& caught)
        {
            message = caught.what();
        }
    }

    bool ownCatch;
    std::atomic<int> released{0};
    std::string message;
};

TEST(WindowsExceptionTranslator, NullPointerInAWorkerBecomesItsStandardException)
{
    for (int round = 0; round < 2; ++round)
    {
        FaultingWorker worker(true);
        worker.Start();
        ASSERT_EQ(worker.Wait(10000), nd::Hld_Thread::kWaitEnded);
        EXPECT_EQ(worker.message.rfind("Win32 Exception occurred. Code: 0xc0000005 at address 0x", 0), 0u)
            << worker.message;
        EXPECT_EQ(worker.released, 1);
        EXPECT_FALSE(worker.IsRunning());
    }
}

TEST(WindowsExceptionTranslator, WorkerWithoutItsOwnCatchIsRecordedByTheThreadBase)
{
    nd::ClearErrors();
    FaultingWorker worker(false);
    worker.Start();
    ASSERT_EQ(worker.Wait(10000), nd::Hld_Thread::kWaitEnded);
    EXPECT_EQ(worker.released, 1);
    bool recorded = false;
    for (const auto& record : nd::GetLogRecords())
        recorded = recorded || record["message"].get<std::string>().find(
                                   "unhandled exception: Win32 Exception occurred. Code: 0xc0000005") !=
                                   std::string::npos;
    EXPECT_TRUE(recorded);
}

} // namespace
