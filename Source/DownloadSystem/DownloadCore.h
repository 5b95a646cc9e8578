#pragma once
// The download front-end the screens use: derives the run's names and folders from the program's
// own file, owns the one DownloadManager, starts the run and turns its counters into speed and
// remaining time. All operations are for the UI thread; only the description request runs on a
// worker of its own.

#include "DownloadSystem/ReleaseNames.h"
#include "DownloadSystem/SpeedMeter.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace DownloadSystem
{

class DownloadManager;

struct RemainingTime
{
    uint32_t hours = 0;
    uint32_t minutes = 0;
    uint32_t seconds = 0;
};

// (total - done) / speed as hours, minutes and seconds; zeros when nothing is left or the speed
// is 0 (also when more was counted than the total, which unsigned arithmetic would turn into
// an absurd time).
RemainingTime RemainingTimeFor(uint64_t done, uint64_t total, uint32_t speed);

class DownloadCore
{
public:
    // programPath is the full path of the running program; by default its own executable.
    // Creates the DownloadManager, which computes the machine identifier.
    DownloadCore();
    explicit DownloadCore(const std::u16string& programPath);
    // Shutdown.
    ~DownloadCore();
    // Ends a description request still in flight and stops a running download, waiting for both
    // (within a second); nothing is started afterwards. Safe to call more than once.
    void Shutdown();
    DownloadCore(const DownloadCore&) = delete;
    DownloadCore& operator=(const DownloadCore&) = delete;

    // Blocks for the request. False (with an error recorded) when the program's file name holds
    // no release name or the service did not answer with status 200.
    bool RequestDescription();
    // RequestDescription on a worker of its own, so that the UI thread goes on drawing while the
    // service answers. Returns at once; a second call does nothing.
    void BeginDescriptionRequest();
    // Empty while that request runs; its result once it has ended (the worker is joined then).
    std::optional<bool> DescriptionResult();
    // Starts the run once, after a successful RequestDescription.
    void StartDownload();
    bool TogglePause();
    bool IsPaused() const { return paused; }
    // True once the started run has ended, successfully or not.
    bool IsFinished() const;
    // How it ended: true when it started the setup.
    bool StartedSetup() const;
    // Bytes per second averaged since the first call, without the time spent paused. Call it
    // about once per second, also while paused, from one thread.
    uint32_t GetSpeed();
    RemainingTime GetRemainingTime();
    void PostLogFile();
    std::shared_ptr<DownloadManager> GetDownloadManager() const { return downloadManager; }

    std::u16string GetProgramFolder() const { return names.ProgramFolder(); }
    std::u16string GetReleaseName() const { return names.ReleaseName(); }
    std::u16string GetReleaseVersionFolder() const { return names.ReleaseVersionFolder(); }
    std::u16string GetFileListName() const { return names.FileListName(); }
    std::u16string GetDataFolder() const { return names.DataFolder(); }

private:
    ReleaseNames names;
    std::shared_ptr<DownloadManager> downloadManager;
    bool paused = false;
    SpeedMeter speedMeter;
    std::thread descriptionWorker;
    std::atomic<bool> descriptionEnded{false};
    bool descriptionSucceeded = false; // written before descriptionEnded
};

// The one process-wide instance, created on first use; it lives until the process ends.
std::shared_ptr<DownloadCore> GetDownloadCore();

} // namespace DownloadSystem
