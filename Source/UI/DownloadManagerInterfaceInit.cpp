// The artwork task of the screens object. It runs on a thread of its own, so it touches only the
// two pending maps, artworkStopping and, last, artworkReady; no GL or UI call may appear here.

#include "UI/DownloadManagerInterface.h"

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/ContentDescription.h"
#include "DownloadSystem/DownloadCore.h"
#include "DownloadSystem/FileDownload.h"
#include "DownloadSystem/RemoteHosts.h"

#include <chrono>
#include <utility>
#include <vector>

namespace nd
{

namespace
{

constexpr uint32_t kStopPollMs = 100;

// Fetches host + path with HTTPS into memory, at most limit bytes; state 7 means the worker made
// its last attempt. A server that trickles never falls silent long enough for a time-out, so each
// transfer has an overall bound; one stopped by it, or by the task's end, leaves no bytes.
uint32_t FetchToMemory(const std::u16string& host, const std::u16string& path, ByteBuffer& bytes,
                       const std::atomic<bool>& stopping,
                       uint64_t limit = DownloadSystem::FileDownload::kTextAnswerLimit)
{
    DownloadSystem::FileDownload download;
    download.SetHost(host);
    download.SetPath(path);
    download.SetAnswerLimit(limit);
    download.Start(); // memory mode: no destination
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(DownloadManagerInterface::kArtworkTransferLimitMs);
    while (download.Wait(kStopPollMs) == Hld_Thread::kWaitTimedOut)
    {
        if (stopping.load())
            return download.GetState();
        if (std::chrono::steady_clock::now() >= deadline)
        {
            LogError("DownloadManagerInterface::Init() -> no answer within " +
                         std::to_string(DownloadManagerInterface::kArtworkTransferLimitMs / 1000) +
                         " s from " + StringUtils::ToUtf8(host + path),
                     Platform::HttpError::kTimeout, __FILE__, __LINE__);
            return download.GetState();
        }
    }
    bytes = std::move(download.GetData());
    return download.GetState();
}

void FetchImages(const DownloadSystem::ContentDescription::ImageList& images, const char* noneMessage,
                 std::map<std::string, ByteBuffer>& pending, const std::atomic<bool>& stopping)
{
    if (images.empty())
        ReportError(noneMessage, 0, "", 0);
    for (const auto& [name, url] : images)
    {
        if (stopping.load())
            return;
        // Only host and path count: images always come over HTTPS, from the host's usual port.
        const UriParts parts = StringUtils::ParseUri(StringUtils::FromUtf8(url));
        const std::string host = DownloadSystem::RemoteHosts::ImageHost(StringUtils::ToUtf8(parts.host));
        ByteBuffer bytes;
        const uint32_t state = FetchToMemory(StringUtils::FromUtf8(host), parts.path, bytes, stopping,
                                             DownloadSystem::FileDownload::kImageAnswerLimit);
        if (state != DownloadSystem::kDownloadEnded)
            ReportError("DownloadManagerInterface::Init() -> failed to download texture: " + url + " - " +
                            std::to_string(state),
                        0, "", 0);
        pending.emplace(name, std::move(bytes));
    }
}

} // namespace

void DownloadManagerInterface::Init()
{
    try
    {
        FetchArtwork();
    }
    catch (const std::exception& error)
    {
        LogError(std::string("DownloadManagerInterface::Init() -> ") + error.what(), 0, __FILE__, __LINE__);
    }
    // Every path ends here, so that the splash can always go on.
    artworkReady.store(true, std::memory_order_release);
}

void DownloadManagerInterface::FetchArtwork()
{
    const auto core = DownloadSystem::GetDownloadCore();
    const std::u16string metaPath = u"/downloadmanager/" + core->GetReleaseVersionFolder() + u"/meta.json";

    ByteBuffer bytes;
    const std::u16string contentHost = StringUtils::FromUtf8(DownloadSystem::RemoteHosts::ContentHost());
    if (FetchToMemory(contentHost, metaPath, bytes, artworkStopping) != DownloadSystem::kDownloadEnded ||
        artworkStopping.load())
        return;

    const std::string text(reinterpret_cast<const char*>(bytes.Data()), static_cast<size_t>(bytes.Size()));
    if (text.empty())
    {
        ReportError("DownloadManagerInterface::Init() -> json from server failed!", 0, "", 0);
        return;
    }
    const auto meta = DownloadSystem::ContentDescription::FromText(text);
    if (!meta.error.empty())
    {
        ReportError("DownloadManagerInterface::Init() -> json failed to read: " + meta.error, 0, "", 0);
        return;
    }
    FetchImages(meta.core, "DownloadManagerInterface::Init() -> no core texture found!", pendingCoreImages,
                artworkStopping);
    FetchImages(meta.media, "DownloadManagerInterface::Init() -> no media texture found!", pendingMediaImages,
                artworkStopping);
}

} // namespace nd
