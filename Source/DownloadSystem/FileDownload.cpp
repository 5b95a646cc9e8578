#include "DownloadSystem/FileDownload.h"

#include "Core/Console.h"
#include "Core/ErrorLog.h"
#include "Core/ScopedHandle.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/IDownloadListener.h"
#include "DownloadSystem/PartFileWriter.h"
#include "DownloadSystem/TrickleGuard.h"
#include "Platform/DebugOutput.h"
#include "Platform/FileIo.h"

#include <chrono>
#include <exception>
#include <thread>
#include <vector>

namespace DownloadSystem
{

namespace
{

using nd::StringUtils;

constexpr uint32_t kPauseStepMs = 100;
constexpr char kUserAgentHeader[] = "User-Agent: Norvia Download Manager / 9.5";

std::atomic<int64_t> trickleWindowMs{TrickleGuard::kWindow.count()};

std::u16string Decimal(uint32_t value)
{
    return StringUtils::IntToWideString(static_cast<int32_t>(value), 10);
}

// A refused time-out leaves the system's own; the request goes on with it.
void LogRefusedOptions(const Platform::HttpRequest& request)
{
    for (const Platform::HttpOptionFailure& refused : request.OptionFailures())
        nd::LogError("Setting " + refused.option + " failed", refused.error, __FILE__, __LINE__);
}

} // namespace

FileDownload::FileDownload() : trickleWindow(trickleWindowMs.load())
{
    crc.Init();
}

FileDownload::~FileDownload()
{
    // The base destructor would stop the worker only after these fields are gone.
    Stop(kInfinite);
    WaitUntilFinished();
}

void FileDownload::SetHost(const std::u16string& value)
{
    host = value;
}

void FileDownload::SetPath(const std::u16string& value)
{
    path = value;
    nd::PrintVerbose("FileDownload::SetPath %s", StringUtils::ToUtf8(path).c_str());
    Platform::WriteDebugOutput(StringUtils::ToUtf8(path));
}

void FileDownload::SetRequestSuffix(const std::u16string& value)
{
    requestSuffix = value;
}

void FileDownload::SetDestination(const std::u16string& value)
{
    destination = value;
}

void FileDownload::SetListener(IDownloadListener* value)
{
    listener = value;
}

void FileDownload::SetExpectedCRC(uint32_t value)
{
    expectedCrc = value;
}

void FileDownload::SetAnswerLimit(uint64_t bytes)
{
    answerLimit = bytes;
}

void FileDownload::SetTrickleWindowForTesting(std::chrono::milliseconds window)
{
    trickleWindowMs = window.count();
}

void FileDownload::ReleaseData()
{
    data.Free();
}

bool FileDownload::TogglePause()
{
    bool current = paused.load();
    while (!paused.compare_exchange_weak(current, !current))
    {
    }
    return !current;
}

void FileDownload::DownloadToMemory()
{
    destination.clear();
    partFileMode = false;
    Start();
    Wait(kInfinite);
}

void FileDownload::StartPartDownload(const std::u16string& destinationPath)
{
    destination = destinationPath;
    partFileMode = true;
    // A caller polling for 7 must not see the end of an earlier run before this one begins.
    state = kDownloadIdle;
    Start();
}

void FileDownload::Run()
{
    lastAttemptVerified = false;
    try
    {
        if (partFileMode)
            RunPartFileMode();
        else
            RunMemoryMode();
    }
    catch (const std::exception& error)
    {
        nd::LogError(
            std::string("FildeDownload: Obviously a major malfunction. Stopping download. Message: ") +
                error.what(),
            nd::kErrorMajorMalfunction, __FILE__, __LINE__);
        state = kDownloadIdle;
        CloseHandles();
    }
}

bool FileDownload::OpenRequest()
{
    CloseHandles();
    nd::LogError(u"Opening connection: " + host, 0, __FILE__, __LINE__);

    Platform::HttpRequestOptions options;
    options.host = StringUtils::ToUtf8(host);
    options.defaultPort = 443;
    options.secure = true;
    options.verb = "GET";
    options.target = StringUtils::ToUtf8(path + requestSuffix);
    options.headerBlock = kUserAgentHeader;
    // The internet handle is named after the destination (empty in memory mode).
    options.agent = StringUtils::ToUtf8(destination);
    const bool sent = request.Send(options, nullptr, 0, RunningFlag());
    LogRefusedOptions(request);
    if (!sent)
    {
        // Each step of the set-up names itself, so that the log tells where the attempt ended.
        std::u16string failure;
        switch (request.FailedStep())
        {
        case Platform::HttpStep::kInternetOpen:
            failure = u"InternetOpen failed";
            break;
        case Platform::HttpStep::kInternetConnect:
            failure = u"Connection::OpenHttpConnection InternetConnect failed";
            break;
        case Platform::HttpStep::kHttpOpenRequest:
            failure = u"Connection::HttpOpenRequest failed for: " + host + u"/ " + path;
            break;
        case Platform::HttpStep::kHttpQueryInfo:
            failure = u"Connection::HttpQueryInfo failed for: " + destination;
            break;
        default:
            failure = u"Connection::HttpSendRequest failed for: " + host + u"/ " + path;
            break;
        }
        nd::LogError(failure, request.LastError(), __FILE__, __LINE__);
        CloseHandles();
        return false;
    }

    const uint32_t status = request.StatusCode();
    const std::u16string headers = StringUtils::ToWide(nd::HeaderTextForLog(request.RawHeaders()));
    if (!headers.empty())
        nd::LogMessage(u"Response headers: " + headers, __FILE__, __LINE__);
    if (status == 200)
        return true;

    errorCode = status;
    if (!headers.empty())
        nd::ReportError(u"Response status not 200, but " + Decimal(status) + u" Response headers: " + headers,
                        nd::kErrorStatusNot200, __FILE__, __LINE__);
    CloseHandles();
    return false;
}

void FileDownload::CloseHandles()
{
    request.Close();
}

bool FileDownload::SleepWhileRunning(uint32_t milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (IsRunning() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return IsRunning();
}

FileDownload::BodyRead FileDownload::ReadBody(std::vector<uint8_t>& chunk,
                                              const std::function<bool(const uint8_t*, size_t)>& consume)
{
    BodyRead result;
    TrickleGuard trickle(trickleWindow);
    bool resumed = false;
    while (request.IsOpen() && IsRunning())
    {
        if (paused)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPauseStepMs));
            resumed = true;
            continue;
        }
        if (resumed)
        {
            trickle.Restart(TrickleGuard::Clock::now());
            resumed = false;
        }
        size_t read = 0;
        result.lastReadOk = request.Read(chunk.data(), chunk.size(), read);
        if (!result.lastReadOk)
            result.readError = request.LastError();
        // A body that only trickles in ends like one that fell silent.
        else if (read != 0 && !trickle.Received(read, TrickleGuard::Clock::now()))
        {
            result.lastReadOk = false;
            result.readError = Platform::HttpError::kTimeout;
        }
        if (!result.lastReadOk)
        {
            nd::LogError(u"InternetReadFile Failed for: " + destination, result.readError, __FILE__,
                         __LINE__);
            break;
        }
        if (read == 0)
        {
            nd::LogMessage(u"Finished file: " + destination, __FILE__, __LINE__);
            result.complete = true;
            break;
        }
        if (!consume(chunk.data(), read))
            break;
    }
    return result;
}

void FileDownload::RunMemoryMode()
{
    state = kDownloadRunning;
    std::vector<uint8_t> chunk(chunkSize);
    bool verified = false;
    for (int repeats = 0;; ++repeats)
    {
        data.Free();
        verified = false;
        if (!OpenRequest())
        {
            SleepWhileRunning(100);
        }
        else
        {
            bool tooLong = false;
            const BodyRead body =
                ReadBody(chunk,
                         [&](const uint8_t* bytes, size_t read)
                         {
                             // An answer without end would grow the program without bound.
                             if (data.Size() + read > answerLimit)
                             {
                                 nd::LogError("answer larger than " + std::to_string(answerLimit) + " bytes",
                                              0, __FILE__, __LINE__);
                                 tooLong = true;
                                 return false;
                             }
                             if (!data.Append(bytes, read))
                                 throw std::bad_alloc();
                             if (listener)
                                 listener->OnDownloadProgress(this);
                             return true;
                         });
            if (tooLong)
                data.Free();
            // An answer past its limit fails like a broken connection.
            const bool lastReadOk = body.lastReadOk && !tooLong;
            const bool complete = body.complete;

            uint32_t computed = 0;
            if (lastReadOk)
            {
                if (data.Size() > 0 && expectedCrc != 0)
                {
                    computed = crc.Extend(0, data.Data(), data.Size());
                    verified = computed == expectedCrc;
                    nd::LogMessage(std::string("Checking CRC: ") + (verified ? "1" : "0"), __FILE__,
                                   __LINE__);
                }
                else if (complete && expectedCrc == 0)
                {
                    // Without a CRC only a body read to its end counts, also an empty one: a
                    // stop or a failure before its end leaves a truncated body (or none) that
                    // must not pass as a download.
                    if (data.Size() > 0)
                        nd::LogMessage("No CRC checked", __FILE__, __LINE__);
                    verified = true;
                }
            }
            else
            {
                nd::LogError("Error reading file, reconnecting.", body.readError, __FILE__, __LINE__);
            }
            if (!verified)
                LogIncorrectCrc(computed, data.Size());
            CloseHandles();
        }
        if (verified || !IsRunning() || repeats >= kRepeatLimit)
            break;
    }
    if (verified)
        nd::LogMessage(u"Download: " + destination + u" correct CRC. Download succesful.", __FILE__,
                       __LINE__);
    lastAttemptVerified = verified;
    Finish();
}

void FileDownload::RunPartFileMode()
{
    if (!PrepareDestinationFolder())
    {
        // The caller polls for 7; ending silently would leave it waiting for ever.
        Finish();
        return;
    }
    state = kDownloadRunning;
    std::vector<uint8_t> chunk(chunkSize);
    for (int repeats = 0;; ++repeats)
    {
        bytesReceived = 0;
        bool verified = false;
        bool tooLarge = false;
        if (!OpenRequest())
        {
            SleepWhileRunning(100);
        }
        else
        {
            PartFileWriter writer(Platform::CreateFileForWriting(StringUtils::ToUtf8(destination)));
            if (!writer.IsOpen())
            {
                nd::ReportError(u"Couldn't create part file: " + destination, Platform::LastErrorNumber(),
                                __FILE__, __LINE__);
                CloseHandles();
                Finish();
                return;
            }
            bool writeFailed = false;
            const BodyRead body = ReadBody(
                chunk,
                [&](const uint8_t* bytes, size_t read)
                {
                    // The byte counter is 32 bits wide; a body that outgrows it cannot be
                    // described and would only repeat the same end on every attempt.
                    if (uint64_t{bytesReceived} + read > UINT32_MAX)
                    {
                        nd::ReportError(u"Download: " + destination +
                                            u" is larger than 4 GiB, more than this download can count. "
                                            u"Download stopped.",
                                        nd::kErrorMajorMalfunction, __FILE__, __LINE__);
                        tooLarge = true;
                        return false;
                    }
                    // A file with a hole cannot pass its check, and reading on would only add
                    // one record per buffer (thousands on a full disk): the attempt ends here.
                    if (!writer.Write(bytes, read))
                    {
                        nd::ReportError(u"Couldn't write part file", writer.LastError(), __FILE__, __LINE__);
                        writeFailed = true;
                        return false;
                    }
                    bytesReceived += static_cast<uint32_t>(read);
                    if (listener)
                        listener->OnDownloadProgress(this);
                    return true;
                });
            const bool lastReadOk = body.lastReadOk;
            const bool complete = body.complete;
            if (!writer.Close() && !writeFailed)
            {
                nd::ReportError(u"Couldn't write part file", writer.LastError(), __FILE__, __LINE__);
                writeFailed = true;
            }
            if (!lastReadOk && request.IsOpen())
                nd::LogError("Error reading file, reconnecting.", body.readError, __FILE__, __LINE__);

            // The writer took the CRC of every piece the file accepted in full, as it went.
            const uint32_t computed = writer.WrittenCrc();
            if (writeFailed)
                verified = false;
            else if (expectedCrc != 0)
                verified = computed == expectedCrc;
            else
                verified = complete; // a body cut short is no download, even without a CRC
            if (tooLarge)
                verified = false;
            // A failed write has its record already: it is no incorrect CRC.
            if (!verified && !writeFailed)
                LogIncorrectCrc(computed, bytesReceived);
            CloseHandles();
        }
        lastAttemptVerified = verified;
        if (verified || tooLarge || !IsRunning() || repeats >= kRepeatLimit)
            break;
    }
    Finish();
}

bool FileDownload::PrepareDestinationFolder()
{
    // The folder is everything before the last "/"; a path without one (or directly under
    // the root) needs no folder.
    const size_t slash = destination.rfind(u'/');
    if (slash == std::u16string::npos || slash == 0)
        return true;
    const std::u16string folder = destination.substr(0, slash);
    const std::string native = StringUtils::ToUtf8(folder);
    if (Platform::PathExists(native))
        return true;
    if (!Platform::CreateDirectory(native))
    {
        nd::ReportError(u"Unable to create directory: " + folder, Platform::LastErrorNumber(), __FILE__,
                        __LINE__);
        return false;
    }
    return true;
}

void FileDownload::LogIncorrectCrc(uint32_t computed, uint64_t byteCount)
{
    nd::LogError(u"Download: " + destination + u" incorrect CRC. Expected: " + Decimal(expectedCrc) +
                     u" found: " + Decimal(computed) + u" bytes read: " +
                     Decimal(static_cast<uint32_t>(byteCount)) + u"Retrying download",
                 nd::kErrorDownloadRetry, __FILE__, __LINE__);
}

void FileDownload::Finish()
{
    state = kDownloadEnded;
    if (listener)
        listener->OnDownloadFinished(this);
}

} // namespace DownloadSystem
