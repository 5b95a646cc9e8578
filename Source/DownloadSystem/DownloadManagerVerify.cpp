// Local file names and the verification of files on disk against the file list.

#include "DownloadSystem/DownloadManager.h"

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/FileList.h"
#include "DownloadSystem/LocalFiles.h"
#include "Platform/FileIo.h"

namespace DownloadSystem
{

using nd::StringUtils;

std::u16string DownloadManager::MakeLocalFileName(const std::u16string& name) const
{
    return LocalFiles::InsertSuffix(name, fileNameSuffix);
}

namespace
{

enum class CrcCheck
{
    Matches,
    Differs,
    NotOpened,
    Failed,  // reported
    Stopped, // the run was stopped during the read: nothing is known about the file
};

// The comparison behind CRCCheckFile, telling an unopenable file apart. length receives the
// bytes read.
CrcCheck CheckCrc(const std::u16string& path, int32_t expected, uint64_t& length, int& errorNumber,
                  const std::atomic<bool>* keepRunning)
{
    const std::string file = StringUtils::ToUtf8(path);
    uint64_t size = 0;
    // Sizes of 4 GiB and more are beyond what the file list describes: such a file is wrong.
    if (Platform::GetFileSize(file, size) && size > FileList::kMaxFileSize)
    {
        nd::ReportError("DownloadManager::CRCCheckFile file of 4 GiB or more refused: " + file, 0, __FILE__,
                        __LINE__);
        return CrcCheck::Failed;
    }
    uint32_t crc = 0;
    switch (LocalFiles::ComputeFileCrc(file, crc, length, errorNumber, keepRunning))
    {
    case LocalFiles::CrcStatus::NotOpened:
        return CrcCheck::NotOpened;
    case LocalFiles::CrcStatus::Stopped:
        return CrcCheck::Stopped;
    case LocalFiles::CrcStatus::ReadFailed:
        nd::ReportError("DownloadManager::CRCCheckFile unable read file " + file, errorNumber, __FILE__,
                        __LINE__);
        return CrcCheck::Failed;
    case LocalFiles::CrcStatus::Computed:
        break;
    }
    return crc == static_cast<uint32_t>(expected) ? CrcCheck::Matches : CrcCheck::Differs;
}

} // namespace

bool DownloadManager::CRCCheckFile(const std::u16string& path, int32_t expected)
{
    uint64_t length = 0;
    int errorNumber = 0;
    return CheckCrc(path, expected, length, errorNumber, StopFlag()) == CrcCheck::Matches;
}

bool DownloadManager::CheckFileFromCRCInfo(const FileListEntry& entry)
{
    if (entry.empty())
        return false;
    currentFile = LocalPath(entry[0]);
    const std::string file = StringUtils::ToUtf8(currentFile);
    if (!Platform::PathExists(file))
        return false;
    // An empty file never counts, whatever the list expects; its size tells without a read.
    uint64_t size = 0;
    if (!Platform::GetFileSize(file, size) || size == 0)
        return false;

    uint64_t length = 0;
    int errorNumber = 0;
    switch (CheckCrc(currentFile, FileList::ReadCrc(entry), length, errorNumber, StopFlag()))
    {
    case CrcCheck::Matches:
        verifiedBytes.fetch_add(length, std::memory_order_relaxed);
        return true;
    case CrcCheck::Stopped:
        // A check cut short says nothing against the file: it must never cost a good one.
        return false;
    case CrcCheck::NotOpened:
        nd::ReportError("Couldn't read file " + file, errorNumber, __FILE__, __LINE__);
        return false;
    case CrcCheck::Differs:
    case CrcCheck::Failed:
        break;
    }

    nd::ReportError("CheckFileFromCRCInfo CRC is not correct: " + file, nd::kErrorCrcMismatch, __FILE__,
                    __LINE__);
    if (!DeleteLocalFile(currentFile))
        nd::ReportError("Couldn't delete corrupt file " + file, Platform::LastErrorNumber(), __FILE__,
                        __LINE__);
    return false;
}

bool DownloadManager::VerifyDownload()
{
    verifiedBytes.store(0, std::memory_order_relaxed);
    std::vector<FileListEntry> list;
    if (!GetFileList(list) || list.empty())
        return false;

    uint64_t total = 0;
    for (const auto& entry : list)
        total += FileList::ReadSize(entry);
    totalBytes.store(total, std::memory_order_relaxed);

    checkingFile.store(true, std::memory_order_relaxed);
    bool verified = true;
    for (const auto& entry : list)
    {
        if (StopRequested() || !CheckFileFromCRCInfo(entry))
        {
            verified = false;
            break;
        }
    }
    checkingFile.store(false, std::memory_order_relaxed);
    return verified;
}

bool DownloadManager::DeleteLocalFile(const std::u16string& path)
{
    return Platform::DeleteFile(StringUtils::ToUtf8(path));
}

} // namespace DownloadSystem
