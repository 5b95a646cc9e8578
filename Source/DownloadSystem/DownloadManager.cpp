#include "DownloadSystem/DownloadManager.h"

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/ComputerId.h"
#include "DownloadSystem/FileDownload.h"

#include <algorithm>

namespace DownloadSystem
{

DownloadManager::DownloadManager()
{
    ComputerId identifier;
    identifier.GetComputerIdWide(computerId);
}

DownloadManager::~DownloadManager()
{
    StopDownload();
    WaitUntilFinished();
}

void DownloadManager::StartDownloadRun(const std::u16string& fileListName, const std::u16string& basePath,
                                       const std::u16string& targetFolder, const std::u16string& dataFolder)
{
    if (runStarted)
        return;
    {
        // No run begins after a stop: the user has left.
        std::lock_guard<std::mutex> gate(setupGate);
        if (setupRefused)
            return;
    }
    this->fileListName = fileListName;
    this->basePath = basePath;
    this->targetFolder = targetFolder;
    this->dataFolder = dataFolder;
    runStarted = true;
    Start();
}

void DownloadManager::SetReportFolders(const std::u16string& programFolder, const std::u16string& dataFolder)
{
    if (runStarted)
        return;
    this->programFolder = programFolder;
    this->dataFolder = dataFolder;
}

void DownloadManager::StopDownload()
{
    // The run polls its flag at least every 100 ms and destroys its worker before it returns,
    // so this wait is short; the list below is for a worker that outlived the run.
    {
        std::lock_guard<std::mutex> gate(setupGate);
        setupRefused = true;
    }
    Stop(kInfinite);
    nd::ScopedLock lock(&activeDownloadsLock);
    activeBytes.store(0, std::memory_order_relaxed);
    for (FileDownload* download : activeDownloads)
    {
        if (download->IsRunning())
            download->Stop(kInfinite);
    }
    activeDownloads.clear();
}

void DownloadManager::TogglePauseAll()
{
    nd::ScopedLock lock(&activeDownloadsLock);
    pauseRequested = !pauseRequested;
    for (FileDownload* download : activeDownloads)
        download->TogglePause();
}

uint64_t ThousandsPercent(uint64_t doneThousands, uint64_t doneBytes, uint64_t total)
{
    double ratio = 0.0;
    if (total / 1000 > 0)
        ratio = static_cast<double>(doneThousands) / static_cast<double>(total / 1000);
    else if (total > 0)
        ratio = static_cast<double>(doneBytes) / static_cast<double>(total);
    return static_cast<uint64_t>(std::clamp(ratio * 100.0, 0.0, 100.0));
}

int32_t DownloadManager::GetProgressPercent() const
{
    const uint64_t completed = completedBytes.load(std::memory_order_relaxed);
    const uint64_t active = activeBytes.load(std::memory_order_relaxed);
    return static_cast<int32_t>(ThousandsPercent(completed / 1000 + active / 1000, completed + active,
                                                 totalBytes.load(std::memory_order_relaxed)));
}

uint64_t DownloadManager::GetDownloadedBytes() const
{
    return completedBytes.load(std::memory_order_relaxed) + activeBytes.load(std::memory_order_relaxed);
}

uint64_t DownloadManager::GetTotalBytes() const
{
    return totalBytes.load(std::memory_order_relaxed);
}

uint64_t DownloadManager::GetVerifyPercent() const
{
    const uint64_t verified = verifiedBytes.load(std::memory_order_relaxed);
    return ThousandsPercent(verified / 1000, verified, totalBytes.load(std::memory_order_relaxed));
}

bool DownloadManager::IsCheckingFile() const
{
    return checkingFile.load(std::memory_order_relaxed);
}

std::u16string DownloadManager::GetCheckingFileName() const
{
    std::lock_guard<std::mutex> lock(checkingFileNameLock);
    return checkingFileName;
}

uint64_t DownloadManager::GetStartTick() const
{
    return startTick.load(std::memory_order_relaxed);
}

void DownloadManager::SetCheckingFileName(const std::u16string& name)
{
    std::lock_guard<std::mutex> lock(checkingFileNameLock);
    checkingFileName = name;
}

std::u16string DownloadManager::LocalPath(const std::u16string& storageName) const
{
    return targetFolder + u"/" + MakeLocalFileName(storageName);
}

void DownloadManager::OnDownloadFinished(FileDownload*)
{
    // The poll of the worker's state looks at once instead of at its next 100 ms step.
    workerEnded.Raise();
}

void DownloadManager::OnDownloadProgress(FileDownload*)
{
    if (!IsRunning())
        return;
    nd::ScopedLock lock(&activeDownloadsLock);
    uint64_t sum = 0;
    for (const FileDownload* download : activeDownloads)
    {
        if (download->GetState() != kDownloadEnded)
            sum += download->GetBytesReceived();
    }
    activeBytes.store(sum, std::memory_order_relaxed);
}

} // namespace DownloadSystem
