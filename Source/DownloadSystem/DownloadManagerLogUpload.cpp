// The log upload: the text log beside the program, the records as gzip-compressed UTF-16LE JSON
// to the download service.

#include "DownloadSystem/DownloadManager.h"

#include "Core/ByteBuffer.h"
#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/CGZip.h"
#include "DownloadSystem/DownloadDescription.h"
#include "DownloadSystem/FileSystem.h"
#include "DownloadSystem/FileUpload.h"
#include "DownloadSystem/RemoteHosts.h"
#include "Platform/FileIo.h"

#include <algorithm>
#include <chrono>

namespace DownloadSystem
{

using nd::StringUtils;

namespace
{
constexpr size_t kReadBackPieceSize = 1024 * 1024;
}

void DownloadManager::PostLogFile()
{
    // The user asked to leave: nothing of the run may go on meanwhile, least of all a verification
    // that passes during the upload and starts the setup.
    StopDownload();
    nd::NoteRecordsNotKept();

    // The window is already gone when this runs; a service that does not answer must not keep
    // the process alive for the request's own, far longer bound.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kExitStepLimitMs);

    std::string folder = StringUtils::ToUtf8(programFolder);
    if (folder.empty())
        FileSystem::GetExecutableFolder(folder);
    nd::WriteLogFile(folder + "/logfile.txt");

    // Messages may quote whatever a server sent; text that is not UTF-8 is replaced rather than
    // allowed to abort the serialisation.
    const nlohmann::json records(nd::GetLogRecords());
    const std::string json = records.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);

    const std::u16string gzipPath = dataFolder + u"/logfile.gz";
    const std::string nativeGzipPath = StringUtils::ToUtf8(gzipPath);
    // The data folder may not exist yet on this machine, nor (on a fresh account) the user's
    // data folder it lives in.
    Platform::CreateDirectories(StringUtils::ToUtf8(dataFolder));
    // A file an earlier run left must never go out in place of this one's.
    if (Platform::PathExists(nativeGzipPath) && !Platform::DeleteFile(nativeGzipPath))
        nd::ReportError("DownloadManager::PostLogFile Unable to delete " + nativeGzipPath,
                        Platform::LastErrorNumber(), __FILE__, __LINE__);
    bool whole = false;
    {
        zlib::CGZip gzip;
        gzip.SetCompressionLevel(9);
        whole = gzip.Open(gzipPath, zlib::CZipper::kModeWrite);
        whole = whole && gzip.WriteString(StringUtils::ToWide(json).c_str());
        // Closing flushes what zlib still holds: a full disk may show only here.
        whole = gzip.Close() && whole;
    }

    const FileUpload::StringMap headers{
        {u"ComputerId", computerId},
        {u"Content-Type", u"application/octet-stream"},
        {u"DownloadManagerVersion", kManagerVersion},
        {u"Method", u"LogErrorInfo"},
        {u"User-Agent", kUserAgent},
    };
    nd::ByteBuffer body;
    bool appended = true;
    const bool readBack =
        whole && FileSystem::ReadFileInPieces(gzipPath, kReadBackPieceSize,
                                              [&](const uint8_t* bytes, size_t length)
                                              { appended = appended && body.Append(bytes, length); });
    if (readBack && appended && body.Size() != 0)
    {
        FileUpload upload;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        upload.SetTimeLimitMs(static_cast<uint32_t>(std::max<int64_t>(left.count(), 0)));
        upload.PostBody(StringUtils::FromUtf8(RemoteHosts::ServiceUrl()), FileUpload::kMethodPost, headers,
                        body);
    }

    if (Platform::PathExists(nativeGzipPath) && !Platform::DeleteFile(nativeGzipPath))
        nd::ReportError("DownloadManager::PostLogFile Unable to delete " + nativeGzipPath,
                        Platform::LastErrorNumber(), __FILE__, __LINE__);
}

} // namespace DownloadSystem
