// The run loop of DownloadManager: passes over the file list, one download at a time, and the
// start of the setup.

#include "DownloadSystem/DownloadManager.h"

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/FileDownload.h"
#include "DownloadSystem/FileList.h"
#include "DownloadSystem/FileSystem.h"
#include "DownloadSystem/RemoteHosts.h"
#include "Platform/Clock.h"
#include "Platform/FileIo.h"
#include "Platform/Shell.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>

namespace DownloadSystem
{

using nd::StringUtils;

namespace
{

constexpr auto kPollInterval = std::chrono::milliseconds(100);
// How long the setup's opener may take to tell that it could not start the setup.
constexpr uint32_t kSetupStartWaitMs = 5000;

bool EndsWithExe(const std::u16string& path)
{
    static constexpr std::u16string_view kExe = u".exe";
    return path.size() >= kExe.size() && path.compare(path.size() - kExe.size(), kExe.size(), kExe) == 0;
}

} // namespace

void DownloadManager::Run()
{
    startTick.store(Platform::TickCount32(), std::memory_order_relaxed);
    nd::ClearErrors();

    std::u16string setupPath;
    bool verified = false;
    try
    {
        verified = RunPasses(setupPath);
    }
    catch (const std::exception& error)
    {
        const std::string message =
            std::string("DownloadManager: Obviously a major malfunction. Stopping download. Message: ") +
            error.what();
        nd::LogError(message, nd::kErrorMajorMalfunction, __FILE__, __LINE__);
        // It ends the run: the download-error screen shows it.
        nd::AddUserMessage(message);
        nd::NoteRecordsNotKept();
        return;
    }
    nd::NoteRecordsNotKept();
    if (verified)
        StartSetup(setupPath);
}

// True when a pass verified; false when the run ends without starting the setup.
bool DownloadManager::RunPasses(std::u16string& setupPath)
{
    for (int pass = 1;; ++pass)
    {
        completedBytes.store(0, std::memory_order_relaxed);
        std::vector<FileListEntry> list;
        if (!GetFileList(list))
            return false;

        uint64_t total = 0;
        for (const auto& entry : list)
            total += FileList::ReadSize(entry);
        totalBytes.store(total, std::memory_order_relaxed);

        for (const auto& entry : list)
        {
            if (!IsRunning())
                break;
            DownloadFile(entry);
        }
        if (!IsRunning())
            return false;

        setupPath.clear();
        for (const auto& entry : list)
        {
            if (entry.empty())
                continue;
            const std::u16string path = LocalPath(entry[0]);
            if (EndsWithExe(path))
                setupPath = path;
        }

        if (VerifyDownload())
            return true;
        // A stop during the verification ends the run here, without the attempts message.
        if (!IsRunning())
            return false;
        if (pass >= kMaxPasses)
            break;
    }

    nd::ReportError(
        "Maximum download attempts exceeded. If there are no network or file errors, it could be that "
        "the files are removed from disk after writing",
        nd::kErrorMaxAttemptsExceeded, __FILE__, __LINE__);
    nd::AddUserMessage("Downloading setup failed. You are now directed to our Support Center for help.");
    Platform::ShellExecute(Platform::ShellVerb::Open, RemoteHosts::SupportArticleUrl(), {});
    return false;
}

void DownloadManager::StartSetup(const std::u16string& setupPath)
{
    {
        // A user who pressed an exit control meanwhile gets no setup, however well the run ended.
        std::lock_guard<std::mutex> gate(setupGate);
        if (setupRefused || StopRequested())
            return;
    }
    if (setupPath.empty())
    {
        const char* message = "Failed to run setup. Setup executable is missing.";
        nd::ReportError(message, nd::kErrorSetupMissing, __FILE__, __LINE__);
        nd::AddUserMessage(message);
        return;
    }
    if (nd::HasErrorNumbers())
        nd::LogError("The download contained errors, but they seem to be resolved. Starting setup",
                     nd::kErrorResolvedStartingSetup, __FILE__, __LINE__);

    const std::string setup = StringUtils::ToUtf8(setupPath);
    const std::string folder = StringUtils::ToUtf8(targetFolder);
    // The opener's answer is waited for a while: an opener that cannot start the setup says so
    // by its exit status, and the user must then be shown where the setup lies.
    const Platform::ShellResult result =
        Platform::ShellExecute(Platform::ShellVerb::Open, setup, folder, kSetupStartWaitMs, StopFlag());
    if (result.started)
    {
        setupStarted.store(true, std::memory_order_release);
        return;
    }

    char message[1024];
    std::snprintf(
        message, sizeof(message),
        "Unable to start setup. You can start it manually by executing the file %s in folder %s. The error "
        "message is: ",
        setup.c_str(), folder.c_str());
    // An opener's exit status is no system error number; its own words say what happened.
    const bool openerFailed = !result.failure.empty();
    const std::u16string text =
        nd::FormatErrorText(StringUtils::FromUtf8(message + (openerFailed ? result.failure : std::string())),
                            openerFailed ? 0 : result.errorNumber, __FILE__, __LINE__);
    nd::ReportError(text, 0, "", 0);
    nd::AddUserMessage(text);
    Platform::ShellExecute(Platform::ShellVerb::Explore, setup, folder);
}

void DownloadManager::DownloadFile(const FileListEntry& entry)
{
    activeBytes.store(0, std::memory_order_relaxed);
    if (entry.size() < 2)
        return;
    try
    {
        currentFile = MakeLocalFileName(entry[0]);
        const std::u16string localPath = targetFolder + u"/" + currentFile;

        checkingFile.store(true, std::memory_order_relaxed);
        SetCheckingFileName(currentFile);
        const bool present = CRCCheckFile(localPath, FileList::ReadCrc(entry));
        SetCheckingFileName({});
        checkingFile.store(false, std::memory_order_relaxed);
        if (present)
        {
            completedBytes.fetch_add(FileSystem::GetSizeOfFile(localPath), std::memory_order_relaxed);
            return;
        }
        // A check cut short by a stop tells nothing: the copy stays, and nothing is fetched.
        if (StopRequested())
            return;
        if (Platform::PathExists(StringUtils::ToUtf8(localPath)))
            DeleteLocalFile(localPath);
        FetchFile(entry, localPath);
    }
    catch (const std::exception& error)
    {
        SetCheckingFileName({});
        checkingFile.store(false, std::memory_order_relaxed);
        nd::LogError(
            std::string("DownloadManager: Obviously a major malfunction. Stopping download. Message: ") +
                error.what(),
            nd::kErrorMajorMalfunction, __FILE__, __LINE__);
    }
}

// Downloads one file straight into its local place, following the worker until it ends or the
// run is stopped. The worker is destroyed (and so stopped) before this returns.
void DownloadManager::FetchFile(const FileListEntry& entry, const std::u16string& localPath)
{
    auto download = std::make_unique<FileDownload>();
    download->SetHost(storageHost);
    download->SetListener(this);
    // The listed name goes out percent-encoded, so that the storage gets it exactly as listed
    // ("%41" stays "%41", "?" does not start a query); folder and signature are sent as given.
    download->SetPath(basePath + u"/" + storageSubfolder + u"/" + StringUtils::UrlEncodePath(entry[0]));
    download->SetRequestSuffix(storageSignature);
    download->SetExpectedCRC(static_cast<uint32_t>(FileList::ReadCrc(entry)));
    workerEnded.Clear();
    {
        // A pause pressed between two files holds the next one too.
        nd::ScopedLock lock(&activeDownloadsLock);
        if (pauseRequested)
            download->TogglePause();
        download->StartPartDownload(localPath);
        activeDownloads.push_back(download.get());
    }

    bool done = false;
    while (IsRunning() && !done)
    {
        {
            nd::ScopedLock lock(&activeDownloadsLock);
            // A worker that died of an exception ends with state 0, never 7: its thread
            // having ended counts as done too, or this loop would wait for ever.
            done = download->GetState() == kDownloadEnded || !download->IsRunning();
        }
        // Still at least every 100 ms (a stop, a worker that died), at once when it ends.
        if (!done)
            workerEnded.WaitFor(kPollInterval);
    }

    {
        // The worker's bytes move from the active count to the completed one; left in both,
        // they would be counted twice until the next file starts.
        nd::ScopedLock lock(&activeDownloadsLock);
        activeDownloads.clear();
        activeBytes.store(0, std::memory_order_relaxed);
    }
    completedBytes.fetch_add(download->GetBytesReceived(), std::memory_order_relaxed);
    download.reset();
}

} // namespace DownloadSystem
