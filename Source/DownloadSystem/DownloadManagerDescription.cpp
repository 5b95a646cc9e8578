// The download description request and the reading of the release's file list.

#include "DownloadSystem/DownloadManager.h"

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/DownloadDescription.h"
#include "DownloadSystem/FileDownload.h"
#include "DownloadSystem/FileList.h"
#include "DownloadSystem/FileUpload.h"
#include "DownloadSystem/RemoteHosts.h"
#include "Platform/Clock.h"
#include "Platform/DebugOutput.h"

#include <exception>

namespace DownloadSystem
{

using nd::StringUtils;

namespace
{

constexpr uint32_t kStatusOk = 200;
constexpr uint32_t kStatusNotFound = 404;
constexpr uint32_t kListPollMs = 100;

} // namespace

bool DownloadManager::RequestDownloadDescription(const std::u16string& releaseName)
{
    FileUpload request;
    request.SetCancelFlag(&descriptionCancelled);
    request.PostFields(StringUtils::FromUtf8(RemoteHosts::ServiceUrl()), FileUpload::kMethodPost,
                       DescriptionRequestHeaders(computerId), DescriptionRequestFields(releaseName), false);
    if (request.GetStatusCode() != kStatusOk)
        return false;

    try
    {
        const std::string body = request.GetResponseText();
        nd::LogMessage(body, __FILE__, __LINE__);

        DownloadDescription description = DownloadDescription::FromAnswer(body);
        if (description.NeedsSigning())
        {
            const auto expiry =
                static_cast<uint32_t>(Platform::UnixTimeSeconds() + kSignatureLifetimeSeconds);
            description.SignStoragePath(expiry);
        }
        productCode = description.productCode;
        companyName = description.companyName;
        storageSubfolder = description.storageSubfolder;
        storageHost = description.storageHost;
        storageSignature = description.storageSignature;
        fileNameSuffix = description.FileNameSuffix();
    }
    catch (const std::exception& error)
    {
        nd::LogMessage(std::string("The download description could not be parsed: ") + error.what(), __FILE__,
                       __LINE__);
    }
    return true;
}

// Reads the list once in memory mode and follows the reader, stopping it when the run is
// stopped. False when it was stopped. Each read has a reader of its own, so that a status of an
// earlier read never shows as the status of a later one.
bool DownloadManager::ReadListOnce(std::string& text, bool& notFound)
{
    FileDownload reader;
    reader.SetHost(storageHost);
    reader.SetPath(storageSubfolder + u"/" + StringUtils::UrlEncodePath(fileListName));
    if (!storageSignature.empty())
        reader.SetRequestSuffix(storageSignature);
    reader.SetExpectedCRC(0);
    reader.SetDestination(u"");
    reader.Start();
    while (reader.Wait(kListPollMs) == nd::Hld_Thread::kWaitTimedOut)
    {
        if (StopRequested())
            reader.Stop(kInfinite);
    }
    if (StopRequested())
        return false;
    // The error code keeps the status of any refused attempt; a later attempt that delivered the
    // list makes that 404 a passing one, not the end of the release.
    notFound = !reader.IsVerified() && reader.GetErrorCode() == kStatusNotFound;
    // A list that did not arrive whole may still parse, short of the entries the cut took away:
    // such a read counts as no list, or a pass could verify and start an incomplete release.
    text = reader.IsVerified() ? FileList::TextFromBytes(reader.GetData()) : std::string();
    return true;
}

bool DownloadManager::GetFileList(std::vector<FileListEntry>& list)
{
    if (fileListName.find(u"2_5") != std::u16string::npos)
    {
        storageSubfolder = basePath;
        basePath.clear();
    }

    // Two reads that agree guard against a list replaced on the server while it was read.
    std::string text;
    bool agreed = false;
    for (int cycle = 0; cycle < kMaxListReadCycles && !agreed; ++cycle)
    {
        std::string first;
        bool notFound = false;
        if (!ReadListOnce(first, notFound))
            break;
        if (notFound)
        {
            const char* message = "This version of Norvia can no longer be downloaded.\r\nPlease download "
                                  "the latest version you received in an e-mail message";
            nd::ReportError(message, 0, "", 0);
            // It ends the run: the download-error screen shows it.
            nd::AddUserMessage(message);
            return false;
        }
        std::string second;
        if (!ReadListOnce(second, notFound))
            break;
        agreed = first == second;
        if (agreed)
            text = std::move(first);
    }
    if (!agreed && !StopRequested())
        nd::LogError("The file list changed on every read; this pass goes on without it", 0, __FILE__,
                     __LINE__);

    Platform::WriteDebugOutput(text);
    std::vector<FileListEntry> entries = FileList::Parse(text);
    for (const auto& entry : entries)
    {
        std::string refusal = FileList::Refusal(entry);
        // The product code comes from the service and goes into every local name, so the name
        // on disk is checked too: a code like "/../.." must not lead out of the folder.
        if (refusal.empty())
            refusal = FileList::Refusal(FileListEntry{MakeLocalFileName(entry[0])});
        if (!refusal.empty())
        {
            nd::ReportError(refusal, 0, __FILE__, __LINE__);
            nd::AddUserMessage(refusal);
            return false;
        }
    }
    list = std::move(entries);
    return true;
}

} // namespace DownloadSystem
