#include "EngineRun.h"

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/DownloadCore.h"
#include "DownloadSystem/DownloadManager.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace bench
{

namespace
{

using nd::StringUtils;
using Clock = std::chrono::steady_clock;

// The screens draw at about 60 frames a second and ask for the speed once a second.
constexpr uint32_t kFrameMs = 16;
constexpr auto kFiguresInterval = std::chrono::seconds(1);

std::string ShellQuoted(const std::string& value)
{
    std::string quoted = "'";
    for (char c : value)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void PrintErrorList()
{
    for (const nd::ErrorRecord& record : nd::GetLogRecords())
    {
        if (record.value("error_number", 0) != 0)
            std::fprintf(stderr, "  %s\n", record.value("message", std::string()).c_str());
    }
}

// The transfer's own time, for a release of one file: from the first byte counted to the last,
// looked at every millisecond beside the frames (it only reads what the screens read).
class TransferClock
{
public:
    explicit TransferClock(const DownloadSystem::DownloadManager& manager)
        : watcher(
              [this, &manager]
              {
                  while (!stop)
                  {
                      const uint64_t bytes = manager.GetDownloadedBytes();
                      const uint64_t total = manager.GetTotalBytes();
                      const auto now = Clock::now();
                      if (bytes > 0 && first == Clock::time_point{})
                          first = now;
                      if (total > 0 && bytes >= total && last == Clock::time_point{})
                          last = now;
                      std::this_thread::sleep_for(std::chrono::milliseconds(1));
                  }
              })
    {
    }
    ~TransferClock() { Stop(); }

    // Seconds from the first byte to the last; 0 when the transfer was not seen whole.
    double Stop()
    {
        stop = true;
        if (watcher.joinable())
            watcher.join();
        if (first == Clock::time_point{} || last == Clock::time_point{})
            return 0;
        return std::chrono::duration<double>(last - first).count();
    }

private:
    std::atomic<bool> stop{false};
    Clock::time_point first;
    Clock::time_point last;
    std::thread watcher;
};

} // namespace

int DescribeStorage(const std::string& programPath)
{
    DownloadSystem::DownloadCore core(StringUtils::FromUtf8(programPath));
    if (!core.RequestDescription())
    {
        std::fprintf(stderr, "norvia_bench_driver: the description request failed\n");
        PrintErrorList();
        return 1;
    }
    const auto manager = core.GetDownloadManager();
    // The engine asks for basePath + "/" + subfolder + "/" + name + signature (basePath empty).
    const std::string prefix = "https://" + StringUtils::ToUtf8(manager->GetStorageHost()) + "/" +
                               StringUtils::ToUtf8(manager->GetStorageSubfolder()) + "/";
    std::printf("BENCH_STORAGE_PREFIX=%s\n", ShellQuoted(prefix).c_str());
    std::printf("BENCH_STORAGE_QUERY=%s\n",
                ShellQuoted(StringUtils::ToUtf8(manager->GetStorageSignature())).c_str());
    return 0;
}

int RunEngine(const std::string& programPath)
{
    DownloadSystem::DownloadCore core(StringUtils::FromUtf8(programPath));
    if (!core.RequestDescription())
    {
        std::fprintf(stderr, "norvia_bench_driver: the description request failed\n");
        PrintErrorList();
        return 1;
    }
    core.StartDownload();
    const auto manager = core.GetDownloadManager();
    TransferClock transferClock(*manager);

    // What the progress screen reads each frame; the values are only looked at, as there.
    auto nextFigures = Clock::now();
    uint64_t frames = 0;
    int32_t percent = 0;
    while (!core.IsFinished())
    {
        percent = manager->IsCheckingFile() ? static_cast<int32_t>(manager->GetVerifyPercent())
                                            : manager->GetProgressPercent();
        (void)manager->GetCheckingFileName();
        (void)manager->GetDownloadedBytes();
        (void)manager->GetTotalBytes();
        if (Clock::now() >= nextFigures)
        {
            (void)core.GetRemainingTime();
            nextFigures += kFiguresInterval;
        }
        ++frames;
        // A frame's wait ends with the run's thread: the time measured is the engine's, not up
        // to a frame more of this loop's sleep (the program then quits at its next frame).
        manager->Wait(kFrameMs);
    }
    const double transferSeconds = transferClock.Stop();
    std::printf("engine_frames %llu\nengine_total_bytes %llu\nengine_last_percent %d\nengine_errors %zu\n"
                "engine_transfer_s %.4f\n",
                static_cast<unsigned long long>(frames),
                static_cast<unsigned long long>(manager->GetTotalBytes()), percent, nd::GetErrorCount(),
                transferSeconds);
    if (nd::GetErrorCount() != 0)
    {
        std::fprintf(stderr, "norvia_bench_driver: the run ended with errors\n");
        PrintErrorList();
        return 1;
    }
    return 0;
}

} // namespace bench
