#include "DownloadSystem/FileUpload.h"

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

namespace DownloadSystem
{

namespace
{

using nd::StringUtils;

constexpr uint32_t kUploadStopTimeoutMs = 15000;
constexpr uint32_t kRetryPauseMs = 100;
constexpr uint32_t kCancelPollMs = 100;

} // namespace

FileUpload::FileUpload() = default;

FileUpload::~FileUpload()
{
    Stop(kUploadStopTimeoutMs);
    // A worker that outlived the time-out still uses the fields below.
    WaitUntilFinished();
}

bool FileUpload::PostFields(const std::u16string& url, uint32_t methodCode, const StringMap& headers,
                            const StringMap& fields, bool encode)
{
    method = methodCode;
    ServerSettingsFromUrl(url);
    requestHeaders = headers;
    formFields = fields;
    if (encode)
        for (auto& field : formFields)
            field.second = StringUtils::UrlEncode(field.second);
    return Execute();
}

bool FileUpload::PostBody(const std::u16string& url, uint32_t methodCode, const StringMap& headers,
                          const nd::ByteBuffer& body)
{
    method = methodCode;
    ServerSettingsFromUrl(url);
    requestHeaders = headers;
    rawBody.Free();
    rawBody.Assign(body);
    return Execute();
}

bool FileUpload::Execute()
{
    answered = false;
    if (Cancelled())
        return GiveUp("FileUpload: request cancelled before it was sent",
                      Platform::HttpError::kOperationCancelled);
    Start();
    const uint32_t limit = std::min(RunTimeLimitMs(), timeLimitMs);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit);
    while (Wait(kCancelPollMs) == kWaitTimedOut)
    {
        if (Cancelled())
            return GiveUp("FileUpload: request cancelled", Platform::HttpError::kOperationCancelled);
        if (std::chrono::steady_clock::now() >= deadline)
            return GiveUp("FileUpload: no answer within " + std::to_string(limit) + " ms, request stopped",
                          Platform::HttpError::kTimeout);
    }
    return answered;
}

// The transfer polls the running flag, so the stop takes at most a moment; whatever the worker
// read by then is no answer.
bool FileUpload::GiveUp(const std::string& why, int errorNumber)
{
    Stop(kInfinite);
    statusCode = kStatusFailed;
    statusText = u"HTTP Operation failed";
    nd::LogError(why, errorNumber, __FILE__, __LINE__);
    return false;
}

uint32_t FileUpload::RunTimeLimitMs()
{
    const Platform::HttpTimeouts timeouts = Platform::GetHttpTimeouts();
    const uint64_t attempt =
        uint64_t{timeouts.connectMs} + timeouts.sendMs + timeouts.receiveMs + kRetryPauseMs;
    return static_cast<uint32_t>(std::min<uint64_t>(kAttemptLimit * attempt, kInfinite - 1));
}

std::string FileUpload::GetStatusTextNarrow() const
{
    return StringUtils::ToNarrow(statusText);
}

std::string FileUpload::GetResponseText() const
{
    nd::ScopedLock hold(&lock);
    if (responseBody.Size() == 0)
        return {};
    const char* text = reinterpret_cast<const char*>(responseBody.Data());
    return std::string(text, std::find(text, text + responseBody.Size(), '\0'));
}

std::u16string FileUpload::GetResponseTextWide() const
{
    return StringUtils::ToWide(GetResponseText());
}

std::u16string FileUpload::GetResponseUtf16() const
{
    nd::ScopedLock hold(&lock);
    std::u16string text;
    for (uint64_t i = 0; i + 1 < responseBody.Size(); i += 2)
        text += static_cast<char16_t>(responseBody.Data()[i] | (responseBody.Data()[i + 1] << 8));
    return text;
}

nd::ByteBuffer FileUpload::GetResponseBody() const
{
    nd::ScopedLock hold(&lock);
    return responseBody;
}

void FileUpload::AddField(const std::u16string& name, const std::u16string& value, bool encode)
{
    formFields[name] = encode ? StringUtils::UrlEncode(value) : value;
}

void FileUpload::SetHeader(const std::u16string& name, const std::u16string& value)
{
    requestHeaders[name] = value;
}

void FileUpload::SetBody(const nd::ByteBuffer& body)
{
    rawBody.Free();
    rawBody.Assign(body);
}

void FileUpload::Reset()
{
    requestHeaders.clear();
    formFields.clear();
    rawBody.Free();
    bytesSent = 0;
    statusCode = 0;
    statusText.clear();
}

void FileUpload::ServerSettingsFromUrl(const std::u16string& url)
{
    nd::LogMessage(u"FileUpload::ServerSettingsFromUrl: " + url, __FILE__, __LINE__);
    int32_t urlPort = 80;
    StringUtils::ServerFromUrl(url, host, path, urlPort, secure);
    port = static_cast<uint32_t>(urlPort);
}

std::u16string FileUpload::BuildRequestHeaders(bool offerCodings) const
{
    StringMap headers = requestHeaders;
    if (offerCodings)
    {
        auto encoding = headers.find(u"Accept-Encoding");
        if (encoding == headers.end())
            headers[u"Accept-Encoding"] = u"gzip,deflate";
        else
            encoding->second += u",gzip,deflate";
    }
    std::u16string block;
    for (const auto& [name, value] : headers)
    {
        if (!block.empty())
            block += u"\r\n";
        block += name + u": " + value;
    }
    return block;
}

void FileUpload::BuildRequestBody(nd::ByteBuffer& body) const
{
    body.Free();
    if (rawBody.Size() > 0)
    {
        body.Assign(rawBody);
        return;
    }
    std::string text;
    for (const auto& [name, value] : formFields)
    {
        if (!text.empty())
            text += "&";
        if (!name.empty())
            text += StringUtils::ToNarrow(name) + "=";
        text += StringUtils::ToNarrow(value);
    }
    body.Append(text);
}

void FileUpload::ParseResponseHeaders(const std::u16string& raw)
{
    rawResponseHeaders = raw;
    responseHeaders.clear();
    std::vector<std::u16string> lines;
    StringUtils::SplitString(raw, u"\r\n", lines, false);
    for (const std::u16string& line : lines)
    {
        std::vector<std::u16string> pieces;
        StringUtils::SplitString(line, u": ", pieces, true);
        if (pieces.size() != 2)
            continue;
        std::u16string value = pieces[1];
        if (!value.empty() && value.front() == u' ')
            value.erase(0, 1);
        responseHeaders[pieces[0]] = value;
    }
}

void FileUpload::Disconnect()
{
    nd::LogError("Disconnecting " + StringUtils::ToNarrow(path), 0, __FILE__, __LINE__);
    request.Close();
}

void FileUpload::OpenRequest(Platform::HttpRequestOptions& options)
{
    Disconnect();
    nd::LogError("Opening connection for: " + StringUtils::ToNarrow(path), 0, __FILE__, __LINE__);

    // The transfer layer undoes gzip and deflate, so the answer may come compressed: the codings
    // are offered in a second header block, which goes out only when the layer agreed to decode.
    options.decodeContent = true;

    nd::LogError("InternetConnect " + StringUtils::ToNarrow(host) + " " + std::to_string(port), 0, __FILE__,
                 __LINE__);
    options.host = StringUtils::ToUtf8(host);
    options.defaultPort = static_cast<uint16_t>(port);
    options.secure = secure;
    options.agent = "Norvia";

    switch (method)
    {
    case kMethodGet:
        verb = u"GET";
        break;
    case kMethodPost:
        verb = u"POST";
        break;
    case kMethodPut:
        verb = u"PUT";
        break;
    case kMethodDelete:
        verb = u"DELETE";
        break;
    default:
        break;
    }
    options.verb = StringUtils::ToUtf8(verb);
    options.target = StringUtils::ToUtf8(path);
}

void FileUpload::SleepWhileRunning(uint32_t milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (IsRunning() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// The records of the set-up: refused options, and a failed step before the send of its own.
// True when the send itself was reached.
bool FileUpload::RecordSetUp()
{
    for (const Platform::HttpOptionFailure& refused : request.OptionFailures())
        nd::LogError("Setting " + refused.option + " failed", refused.error, __FILE__, __LINE__);
    // The header map keeps the value of an earlier attempt, to which the codings are added again.
    if (request.DecodingAccepted())
    {
        auto encoding = requestHeaders.find(u"Accept-Encoding");
        if (encoding == requestHeaders.end())
            requestHeaders[u"Accept-Encoding"] = u"gzip,deflate";
        else
            encoding->second += u",gzip,deflate";
    }
    switch (request.FailedStep())
    {
    case Platform::HttpStep::kInternetOpen:
        nd::LogError("InternetOpen failed", request.LastError(), __FILE__, __LINE__);
        return false;
    case Platform::HttpStep::kInternetConnect:
        nd::LogError(u"Connection::OpenHttpConnection InternetConnect failed for " + host + u" " +
                         StringUtils::ToWide(std::to_string(port)),
                     request.LastError(), __FILE__, __LINE__);
        return false;
    case Platform::HttpStep::kHttpOpenRequest:
        nd::LogError("Connection::HttpOpenRequest failed for: " + StringUtils::ToNarrow(path),
                     request.LastError(), __FILE__, __LINE__);
        return false;
    case Platform::HttpStep::kHttpQueryInfo:
        nd::LogError("Connection::HttpQueryInfo failed", request.LastError(), __FILE__, __LINE__);
        return false;
    default:
        return true;
    }
}

bool FileUpload::SendPlain(const Platform::HttpRequestOptions& options, const nd::ByteBuffer& body)
{
    const bool sent = request.Send(options, body.Data(), body.Size(), RunningFlag());
    if (!RecordSetUp())
        return false;
    if (!sent)
    {
        nd::LogError(u"Error on HttpSendRequest, ", request.LastError(), __FILE__, __LINE__);
        return false;
    }
    bytesSent += body.Size();
    return true;
}

bool FileUpload::SendStreamed(const Platform::HttpRequestOptions& options, const nd::ByteBuffer& body)
{
    const bool begun = request.Begin(options, body.Size(), RunningFlag());
    if (!RecordSetUp())
        return false;
    if (!begun)
    {
        nd::ReportError("Error on HttpSendRequestEx\n", request.LastError(), __FILE__, __LINE__);
        // Writing into a request that never began would only add one error per piece.
        return false;
    }
    while (bytesSent < body.Size() && IsRunning())
    {
        const size_t piece =
            static_cast<size_t>(std::min<uint64_t>(kWriteChunkSize, body.Size() - bytesSent));
        size_t written = 0;
        if (!request.Write(body.Data() + bytesSent, piece, written) || written == 0)
        {
            nd::ReportError("\nError on InternetWriteFile\n", request.LastError(), __FILE__, __LINE__);
            // The server would get a body with a hole in it; the attempt is lost.
            return false;
        }
        bytesSent += written;
    }
    if (!IsRunning())
        return false;
    if (!request.End())
    {
        nd::ReportError("Error on HttpEndRequest\n", request.LastError(), __FILE__, __LINE__);
        return false;
    }
    return true;
}

void FileUpload::ReadAnswer()
{
    bytesReceived = 0;
    const std::string rawHeaders = request.RawHeaders();
    if (!rawHeaders.empty())
    {
        nd::LogError("HTTPSendRequest response headers:\r\n" + nd::HeaderTextForLog(rawHeaders), 0, __FILE__,
                     __LINE__);
        ParseResponseHeaders(StringUtils::ToWide(rawHeaders));
    }
    statusCode = request.StatusCode();
    const std::string text = request.StatusText();
    if (!text.empty())
        statusText = StringUtils::ToWide(text);

    nd::ByteBuffer collected;
    // Not cleared first (1 MiB per request): only bytes read into it are handed on.
    const auto pieceSize = static_cast<size_t>(responseChunkSize);
    const auto piece = std::make_unique_for_overwrite<uint8_t[]>(pieceSize);
    while (request.IsOpen() && IsRunning())
    {
        size_t read = 0;
        if (!request.Read(piece.get(), pieceSize, read))
        {
            nd::ReportError("InternetReadFile Failed", request.LastError(), __FILE__, __LINE__);
            break;
        }
        if (read == 0)
            break;
        // An answer without end would grow the program without bound; one cut off here is no
        // answer, so nothing of it is kept.
        if (collected.Size() + read > kAnswerLimit)
        {
            nd::LogError("answer larger than " + std::to_string(kAnswerLimit) + " bytes", 0, __FILE__,
                         __LINE__);
            collected.Free();
            break;
        }
        if (!collected.Append(piece.get(), read))
            throw std::bad_alloc();
        bytesReceived += read;
    }
    if (IsRunning())
    {
        nd::ScopedLock hold(&lock);
        responseBody = std::move(collected);
    }
}

void FileUpload::Run()
{
    try
    {
        attempts = 0;
        bool sent = false;
        for (;;)
        {
            {
                nd::ScopedLock hold(&lock);
                responseBody.Free();
            }
            sent = false;
            if (attempts >= attemptLimit)
            {
                statusCode = kStatusFailed;
                statusText = u"HTTP Operation failed";
                break;
            }
            ++attempts;
            bytesToSend = 0;
            bytesSent = 0;

            Platform::HttpRequestOptions options;
            OpenRequest(options);
            const std::u16string headerBlock = BuildRequestHeaders(true);
            nd::ByteBuffer body;
            BuildRequestBody(body);
            bytesToSend = body.Size();
            nd::LogError(u"Sending HTTP " + verb + u" " + u"Headers:\r\n" + headerBlock, 0, __FILE__,
                         __LINE__);
            options.headerBlock = StringUtils::ToUtf8(BuildRequestHeaders(false));
            options.decodingHeaderBlock = StringUtils::ToUtf8(headerBlock);

            sent = rawBody.Size() == 0 ? SendPlain(options, body) : SendStreamed(options, body);
            if (sent)
                ReadAnswer();
            else
                SleepWhileRunning(kRetryPauseMs);

            if (!IsRunning() || sent)
            {
                Disconnect();
                break;
            }
        }
        answered = sent;
    }
    catch (const std::exception& error)
    {
        nd::LogError(std::string("FileUpload: Obviously a major malfunction. Message: ") + error.what(), 0,
                     __FILE__, __LINE__);
    }
}

} // namespace DownloadSystem
