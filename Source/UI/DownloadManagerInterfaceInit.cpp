// The artwork task of the screens object. It runs on its own detached thread, so it touches only
// the two pending maps and, last, artworkReady; no GL or UI call may appear here.

#include "UI/DownloadManagerInterface.h"

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/ContentDescription.h"
#include "DownloadSystem/DownloadCore.h"
#include "DownloadSystem/FileDownload.h"
#include "DownloadSystem/RemoteHosts.h"

#include <utility>
#include <vector>

namespace nd
{

namespace
{

// Fetches host + path with HTTPS into memory, at most limit bytes; state 7 means the worker
// made its last attempt.
uint32_t FetchToMemory(const std::u16string& host, const std::u16string& path, ByteBuffer& bytes,
                       uint64_t limit = DownloadSystem::FileDownload::kTextAnswerLimit)
{
    DownloadSystem::FileDownload download;
    download.SetHost(host);
    download.SetPath(path);
    download.SetAnswerLimit(limit);
    download.DownloadToMemory();
    bytes = std::move(download.GetData());
    return download.GetState();
}

void FetchImages(const DownloadSystem::ContentDescription::ImageList& images, const char* noneMessage,
                 std::map<std::string, ByteBuffer>& pending)
{
    if (images.empty())
        ReportError(noneMessage, 0, "", 0);
    for (const auto& [name, url] : images)
    {
        // Only host and path count: images always come over HTTPS, from the host's usual port.
        const UriParts parts = StringUtils::ParseUri(StringUtils::FromUtf8(url));
        const std::string host = DownloadSystem::RemoteHosts::ImageHost(StringUtils::ToUtf8(parts.host));
        ByteBuffer bytes;
        const uint32_t state = FetchToMemory(StringUtils::FromUtf8(host), parts.path, bytes,
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
    if (FetchToMemory(contentHost, metaPath, bytes) != DownloadSystem::kDownloadEnded)
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
    FetchImages(meta.core, "DownloadManagerInterface::Init() -> no core texture found!", pendingCoreImages);
    FetchImages(meta.media, "DownloadManagerInterface::Init() -> no media texture found!",
                pendingMediaImages);
}

} // namespace nd
