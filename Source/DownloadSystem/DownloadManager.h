#pragma once
// The download engine: a worker thread that turns the release's file list into verified setup
// files in the target folder and then starts the setup. One run makes up to seven passes; each
// reads the file list, keeps files already present with the right CRC-32, downloads the others
// one at a time and verifies everything against a fresh read of the list.
//
// Threads: the UI thread calls RequestDownloadDescription (before the run), StartDownloadRun,
// StopDownload, TogglePauseAll, PostLogFile and the counters; the run's own thread does the rest;
// the one running FileDownload worker calls the listener operations. The counters are atomics
// read without locks; a value may be a moment old.

#include "Core/Hld_Thread.h"
#include "Core/ScopedLock.h"
#include "Core/WakeSignal.h"
#include "DownloadSystem/FileListEntry.h"
#include "DownloadSystem/IDownloadListener.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace DownloadSystem
{

class FileDownload;

// Whole thousands of bytes done against whole thousands in all, as a truncated percentage within
// 0 to 100; doneThousands may be a sum of separately rounded counters. Totals below 1000 bytes
// have no whole thousand and are compared byte for byte (doneBytes) instead.
uint64_t ThousandsPercent(uint64_t doneThousands, uint64_t doneBytes, uint64_t total);

class DownloadManager : public nd::Hld_Thread, public IDownloadListener
{
public:
    static constexpr int kMaxPasses = 7;
    static constexpr uint64_t kNoStartTick = ~uint64_t{0};
    // The program waits this long at most for the log upload before it ends.
    static constexpr uint32_t kExitStepLimitMs = 15000;

    // Computes the machine identifier; nothing runs until StartDownloadRun.
    DownloadManager();
    // Stops a running download and waits for its thread and worker.
    ~DownloadManager() override;
    DownloadManager(const DownloadManager&) = delete;
    DownloadManager& operator=(const DownloadManager&) = delete;

    // [SECTION] Description and file list (DownloadManagerDescription.cpp)

    // Asks the download service where the release lies. True when the answer had status 200.
    // Blocks; call before StartDownloadRun, never while the run's thread exists.
    bool RequestDownloadDescription(const std::u16string& releaseName);
    // Any thread: ends a description request in flight within 100 ms (it fails) and fails every
    // later one, for a program that ends while the service has not answered yet.
    void CancelDescriptionRequest() { descriptionCancelled.store(true); }
    // Reads and parses the release's file list. False when the storage answered 404 or the list
    // names a file this program refuses (both reported); true otherwise, also with an empty list.
    // Run's thread only.
    bool GetFileList(std::vector<FileListEntry>& list);

    // [SECTION] Driving the run (DownloadManager.cpp)

    // Stores the folders and starts the run's thread. Called at most once per object.
    void StartDownloadRun(const std::u16string& fileListName, const std::u16string& basePath,
                          const std::u16string& targetFolder, const std::u16string& dataFolder);
    // Stops the run and the running worker and waits for both (within a second). Safe to call at
    // any time; from then on this object starts no setup, even one the run had verified already.
    void StopDownload();
    void TogglePauseAll();
    // True once the run has handed the setup to the shell; a run that ended without it failed,
    // whatever it recorded on the way.
    bool StartedSetup() const { return setupStarted.load(std::memory_order_acquire); }

    int32_t GetProgressPercent() const;
    uint64_t GetDownloadedBytes() const;
    uint64_t GetTotalBytes() const;
    uint64_t GetVerifyPercent() const;
    bool IsCheckingFile() const;
    std::u16string GetCheckingFileName() const;
    uint64_t GetStartTick() const;

    // The description answer; stable once RequestDownloadDescription has returned.
    const std::u16string& GetComputerId() const { return computerId; }
    const std::u16string& GetProductCode() const { return productCode; }
    const std::u16string& GetCompanyName() const { return companyName; }
    const std::u16string& GetStorageHost() const { return storageHost; }
    const std::u16string& GetStorageSubfolder() const { return storageSubfolder; }
    const std::u16string& GetStorageSignature() const { return storageSignature; }
    const std::u16string& GetFileNameSuffix() const { return fileNameSuffix; }

    // [SECTION] Local files and verification (DownloadManagerVerify.cpp); Run's thread.

    std::u16string MakeLocalFileName(const std::u16string& name) const;
    bool CRCCheckFile(const std::u16string& path, int32_t expected);
    bool CheckFileFromCRCInfo(const FileListEntry& entry);
    bool VerifyDownload();
    bool DeleteLocalFile(const std::u16string& path);

    // [SECTION] Service reports (DownloadManagerLogUpload.cpp)

    // The exit step: stops the run first (StopDownload), then writes logfile.txt beside the
    // program and uploads the compressed records, only when they were written whole. UI thread;
    // blocks until the upload has ended, at most kExitStepLimitMs after the stop.
    void PostLogFile();
    // The program's folder (for logfile.txt; else the executable's) and the data folder (for
    // logfile.gz), so that the log can go out also when no run was ever started. Call before
    // StartDownloadRun, which sets the data folder again.
    void SetReportFolders(const std::u16string& programFolder, const std::u16string& dataFolder);

    // [SECTION] Listener (worker threads)

    void OnDownloadFinished(FileDownload* download) override;
    void OnDownloadProgress(FileDownload* download) override;

protected:
    void Run() override;

private:
    friend class DownloadManagerTestPeer; // the engine tests drive single steps through it

    // Read cycles of the file list end after this many; a list that keeps changing then counts
    // as unreadable (an empty list) for the pass.
    static constexpr int kMaxListReadCycles = 5;

    bool RunPasses(std::u16string& setupPath);
    void StartSetup(const std::u16string& setupPath);
    void DownloadFile(const FileListEntry& entry);
    void FetchFile(const FileListEntry& entry, const std::u16string& localPath);
    // notFound: the read delivered no list and the storage answered 404.
    bool ReadListOnce(std::string& text, bool& notFound);
    // The run was started and has been told to stop. Operations called outside a run (tests)
    // never see a stop.
    bool StopRequested() const { return runStarted && !IsRunning(); }
    // The flag that long waits and file checks poll to answer a stop; none outside a run.
    const std::atomic<bool>* StopFlag() const { return runStarted ? RunningFlag() : nullptr; }
    void SetCheckingFileName(const std::u16string& name);
    std::u16string LocalPath(const std::u16string& storageName) const;

    std::u16string fileListName;
    std::u16string currentFile;
    std::u16string basePath;
    std::u16string targetFolder;
    std::u16string dataFolder;
    std::u16string programFolder; // logfile.txt; empty: the executable's folder
    std::u16string productCode;
    std::u16string companyName;
    std::u16string fileNameSuffix;
    std::u16string storageSubfolder;
    std::u16string storageHost;
    std::u16string computerId;
    std::u16string checkingFileName; // guarded by checkingFileNameLock
    mutable std::mutex checkingFileNameLock;
    std::u16string storageSignature;
    std::vector<FileDownload*> activeDownloads; // not owning; guarded by activeDownloadsLock
    mutable nd::CriticalSection activeDownloadsLock;
    std::atomic<uint64_t> totalBytes{0};
    std::atomic<uint64_t> completedBytes{0};
    std::atomic<uint64_t> activeBytes{0}; // written under activeDownloadsLock
    std::atomic<uint64_t> verifiedBytes{0};
    std::atomic<uint64_t> startTick{kNoStartTick};
    std::atomic<bool> checkingFile{false};
    bool pauseRequested = false; // guarded by activeDownloadsLock; a worker started later starts paused
    bool runStarted = false;     // set before the thread starts
    std::atomic<bool> descriptionCancelled{false};
    std::atomic<bool> setupStarted{false};
    // A stop and the setup's start meet here: either the stop comes first and no setup starts, or
    // the start was decided before the stop.
    std::mutex setupGate;
    bool setupRefused = false;  // guarded by setupGate
    nd::WakeSignal workerEnded; // raised by a worker as it ends, so that the poll need not sleep on
};

} // namespace DownloadSystem
