#include "DownloadSystem/DownloadCore.h"

#include "Core/ErrorLog.h"
#include "Core/ProgramFile.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/DownloadManager.h"
#include "Platform/Clock.h"
#include "Platform/HttpRequest.h"

#include <mutex>
#include <system_error>

namespace DownloadSystem
{

using nd::StringUtils;

DownloadCore::DownloadCore() : DownloadCore(nd::ProgramFilePath()) {}

DownloadCore::DownloadCore(const std::u16string& programPath)
    : names(programPath), downloadManager(std::make_shared<DownloadManager>())
{
    downloadManager->SetReportFolders(names.ProgramFolder(), names.DataFolder());
}

DownloadCore::~DownloadCore()
{
    Shutdown();
}

void DownloadCore::Shutdown()
{
    if (!downloadManager)
        return;
    // The window was closed while the service had not answered: the request's worker uses the
    // manager, so it is ended and waited for first.
    downloadManager->CancelDescriptionRequest();
    if (descriptionWorker.joinable())
        descriptionWorker.join();
    downloadManager->StopDownload();
}

bool DownloadCore::RequestDescription()
{
    std::u16string releaseName = names.ReleaseName();
    StringUtils::ReplaceAll(releaseName, u".exe", u"");
    if (releaseName.empty())
    {
        nd::ReportError("The program's file name " + StringUtils::ToUtf8(names.ProgramPath()) +
                            " names no release: it must read like Norvia_3_2_Home_Download",
                        0, __FILE__, __LINE__);
        return false;
    }
    return downloadManager->RequestDownloadDescription(releaseName);
}

void DownloadCore::BeginDescriptionRequest()
{
    if (descriptionWorker.joinable() || descriptionEnded.load())
        return;
    const auto request = [this]
    {
        descriptionSucceeded = RequestDescription();
        descriptionEnded.store(true, std::memory_order_release);
    };
    try
    {
        descriptionWorker = std::thread(request);
    }
    catch (const std::system_error&)
    {
        request(); // no thread to be had: the UI thread waits instead
    }
}

std::optional<bool> DownloadCore::DescriptionResult()
{
    if (!descriptionEnded.load(std::memory_order_acquire))
        return std::nullopt;
    if (descriptionWorker.joinable())
        descriptionWorker.join();
    return descriptionSucceeded;
}

void DownloadCore::StartDownload()
{
    downloadManager->StartDownloadRun(names.FileListName(), u"", names.ProgramFolder(), names.DataFolder());
}

bool DownloadCore::TogglePause()
{
    if (downloadManager)
    {
        downloadManager->TogglePauseAll();
        paused = !paused;
    }
    return paused;
}

bool DownloadCore::IsFinished() const
{
    return downloadManager && !downloadManager->IsRunning();
}

bool DownloadCore::StartedSetup() const
{
    return downloadManager && downloadManager->StartedSetup();
}

uint32_t DownloadCore::GetSpeed()
{
    if (!downloadManager)
        return 0;
    return speedMeter.Sample(Platform::SteadyTickMs(), paused, downloadManager->GetDownloadedBytes());
}

RemainingTime DownloadCore::GetRemainingTime()
{
    if (!downloadManager)
        return {};
    const uint64_t done = downloadManager->GetDownloadedBytes();
    const uint64_t total = downloadManager->GetTotalBytes();
    // More bytes than listed (a file on disk larger than its entry) leaves nothing to wait for.
    if (done == 0 || total == 0 || done >= total)
        return {};
    return RemainingTimeFor(done, total, GetSpeed());
}

RemainingTime RemainingTimeFor(uint64_t done, uint64_t total, uint32_t speed)
{
    if (speed == 0 || done >= total)
        return {};
    const uint64_t seconds = (total - done) / speed;
    return {static_cast<uint32_t>(seconds / 3600), static_cast<uint32_t>((seconds % 3600) / 60),
            static_cast<uint32_t>(seconds % 60)};
}

void DownloadCore::PostLogFile()
{
    if (downloadManager)
        downloadManager->PostLogFile();
}

std::shared_ptr<DownloadCore> GetDownloadCore()
{
    // The instance stops a running download when it is destroyed at exit, so the HTTP and TLS
    // libraries must be torn down after it: readied before it exists, they are.
    static const bool httpReady = Platform::InitialiseHttp();
    (void)httpReady;
    static std::once_flag created;
    static std::shared_ptr<DownloadCore> instance;
    std::call_once(created, [] { instance = std::make_shared<DownloadCore>(); });
    return instance;
}

} // namespace DownloadSystem
