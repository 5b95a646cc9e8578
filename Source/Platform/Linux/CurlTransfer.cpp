#include "Platform/Linux/CurlTransfer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <strings.h>

#include "Platform/Linux/CurlErrors.h"

namespace Platform
{
namespace
{

using Clock = std::chrono::steady_clock;

// Past the high mark curl is paused until reading brings the buffer under the low mark.
constexpr size_t kReceiveHighMark = 256 * 1024;
constexpr size_t kReceiveLowMark = 64 * 1024;
constexpr long long kPollSliceMs = 50;

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    return strncasecmp(text.c_str(), prefix, std::strlen(prefix)) == 0;
}

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A run of decimal digits whose value does not fit 64 bits.
bool ExceedsUint64(const std::string& digits)
{
    uint64_t value = 0;
    for (char c : digits)
    {
        if (c < '0' || c > '9')
            return false;
        const auto digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return true;
        value = value * 10 + digit;
    }
    return false;
}

} // namespace

CurlTransfer::~CurlTransfer()
{
    Reset();
}

void CurlTransfer::Detach()
{
    // A transfer that has not ended leaves its connection in an unknown state (an answer half
    // read, a request half sent): it is closed, never handed to the next request.
    if (!done)
        curl_easy_setopt(easy.get(), CURLOPT_FORBID_REUSE, 1L);
    curl_multi_remove_handle(Multi(), easy.get());
    attached = false;
}

void CurlTransfer::Reset()
{
    if (attached)
        Detach();
    attached = false;
    easy.reset();
    ReturnMultiHandle(std::move(pooledMulti));
    pooledMulti = {};
    headerList.reset();
    static_cast<TransferState&>(*this) = TransferState{};
}

bool CurlTransfer::Fail(int error)
{
    // Detaching an unfinished transfer closes its connection: nothing more moves.
    if (!terminalError && attached && !done)
    {
        Detach();
        done = true;
    }
    return TransferErrors::Fail(error);
}

// Told as WinINet's steps would tell it: the name and the connection belong to InternetConnect,
// an answer that cannot be read to HttpQueryInfo, everything on the way between to HttpSendRequest.
void CurlTransfer::NameFailedStep()
{
    if (failedStep != HttpStep::kNone || !terminalError)
        return;
    curl_off_t connected = 0;
    if (easy)
        curl_easy_getinfo(easy.get(), CURLINFO_CONNECT_TIME_T, &connected);
    switch (terminalError)
    {
    case HttpError::kNameNotResolved:
    case HttpError::kCannotConnect:
        failedStep = HttpStep::kInternetConnect;
        break;
    case HttpError::kInvalidServerResponse:
        failedStep = HttpStep::kHttpQueryInfo;
        break;
    case HttpError::kTimeout:
    case HttpError::kOperationCancelled:
        failedStep = connected == 0 ? HttpStep::kInternetConnect : HttpStep::kHttpSendRequest;
        break;
    default:
        failedStep = HttpStep::kHttpSendRequest;
        break;
    }
}

int CurlTransfer::ErrorFromResult() const
{
    if (ownFailure)
        return ownFailure;
    if (result == CURLE_UNSUPPORTED_PROTOCOL && secure && !hopLocation.empty())
        return HttpError::kHttpsToHttpRedirect; // curl refused to follow to a scheme other than https
    long verifyResult = 0;
    long osErrno = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    curl_easy_getinfo(easy.get(), CURLINFO_OS_ERRNO, &osErrno);
    return HttpErrorFromCurl(result, verifyResult, osErrno);
}

bool CurlTransfer::Perform()
{
    int running = 0;
    if (curl_multi_perform(Multi(), &running) != CURLM_OK)
        return false;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(Multi(), &queued))
    {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy.get())
        {
            done = true;
            result = message->data.result;
        }
    }
    return true;
}

// Runs the transfer until ready() holds, the transfer ends, the caller's flag is cleared or
// the line stays silent for longer than the time-out of the current direction. Silence is
// measured only while the caller waits in here, never while it is away (a paused reader).
template <class Ready> CurlTransfer::Outcome CurlTransfer::Drive(Ready ready)
{
    auto silentSince = Clock::now();
    uint64_t seenActivity = activity;
    while (true)
    {
        if (ready())
            return Outcome::Ready;
        if (done)
            return Outcome::Finished;
        if (keepRunning && !keepRunning->load())
        {
            Fail(HttpError::kOperationCancelled);
            return Outcome::Failed;
        }
        if (!Perform())
        {
            Fail(HttpError::kInternalError);
            return Outcome::Failed;
        }
        if (ready())
            return Outcome::Ready;
        if (done)
            return Outcome::Finished;

        const auto now = Clock::now();
        if (activity != seenActivity)
        {
            seenActivity = activity;
            silentSince = now;
        }
        const bool sending = uploadSent < uploadTotal;
        const long long limit = sending ? timeouts.sendMs : timeouts.receiveMs;
        const long long silent =
            std::chrono::duration_cast<std::chrono::milliseconds>(now - silentSince).count();
        if (silent >= limit)
        {
            Fail(HttpError::kTimeout);
            return Outcome::Failed;
        }
        const long long wait = std::clamp(limit - silent, 1LL, kPollSliceMs);
        curl_multi_poll(Multi(), nullptr, 0, static_cast<int>(wait), nullptr);
    }
}

bool CurlTransfer::WaitForHeaders()
{
    const Outcome outcome = Drive([this] { return headersComplete; });
    if (outcome != Outcome::Finished)
        return outcome == Outcome::Ready;
    return Fail(result == CURLE_OK ? HttpError::kInternalError : ErrorFromResult());
}

bool CurlTransfer::WaitForBodyRequest()
{
    const Outcome outcome = Drive([this] { return curlWantsBody || headersComplete || uploadTotal == 0; });
    if (outcome != Outcome::Finished)
        return outcome == Outcome::Ready;
    // An answer that came before any body was asked for is read by End.
    return result == CURLE_OK ? true : Fail(ErrorFromResult());
}

bool CurlTransfer::Offer(const char* data, size_t length, size_t& taken)
{
    taken = 0;
    if (uploadTaken + length > uploadTotal)
    {
        lastError = HttpError::kInternalError; // more than Begin announced; nothing is sent
        return false;
    }
    uploadData = data;
    uploadLeft = length;
    if (pauseMask & CURLPAUSE_SEND)
        SetPause(pauseMask & ~CURLPAUSE_SEND);
    const Outcome outcome = Drive([this] { return uploadLeft == 0; });
    taken = length - uploadLeft;
    // The caller's buffer is only valid during this call.
    uploadData = nullptr;
    uploadLeft = 0;
    if (outcome != Outcome::Finished)
        return outcome == Outcome::Ready;
    // The exchange ended before the body was taken (for example an early answer).
    return Fail(result == CURLE_OK ? HttpError::kConnectionAborted : ErrorFromResult());
}

bool CurlTransfer::Take(char* buffer, size_t size, size_t& count)
{
    count = 0;
    if (Buffered() == 0 && !done && Drive([this] { return Buffered() > 0; }) == Outcome::Failed)
        return false;
    if (Buffered() == 0)
    {
        // Finished and drained: a clean end, or the error that cut the body short.
        return result == CURLE_OK && !ownFailure ? true : Fail(ErrorFromResult());
    }
    count = std::min(size, Buffered());
    std::memcpy(buffer, received.data() + receivedOffset, count);
    receivedOffset += count;
    if (receivedOffset == received.size())
    {
        received.clear();
        receivedOffset = 0;
    }
    else if (receivedOffset >= kReceiveHighMark)
    {
        received.erase(0, receivedOffset);
        receivedOffset = 0;
    }
    if (!done && Buffered() < kReceiveLowMark)
    {
        if (pauseMask & CURLPAUSE_RECV)
            SetPause(pauseMask & ~CURLPAUSE_RECV);
        // Fetch what already arrived so the next call finds it without waiting.
        if (!Perform())
            Fail(HttpError::kInternalError);
    }
    return true;
}

void CurlTransfer::SetPause(int mask)
{
    pauseMask = mask;
    // Resuming may deliver held data through the callbacks before this returns.
    curl_easy_pause(easy.get(), mask);
}

// [SECTION] libcurl callbacks

void CurlTransfer::EndOfHeaders()
{
    const bool interim = hopStatus >= 100 && hopStatus < 200;
    // curl follows every 3xx answer that names a Location.
    const bool followed = hopStatus >= 300 && hopStatus < 400 && !hopLocation.empty();
    if (followed && secure && StartsWithNoCase(hopLocation, "http:"))
    {
        ownFailure = HttpError::kHttpsToHttpRedirect;
        return;
    }
    if (interim || followed)
        return;
    rawHeaders = hopHeaders;
    statusCode = hopStatus;
    statusText = hopStatusText;
    headersComplete = true;
}

size_t CurlTransfer::OnHeader(char* data, size_t size, size_t count, void* self)
{
    auto& transfer = *static_cast<CurlTransfer*>(self);
    const size_t length = size * count;
    ++transfer.activity;
    if (transfer.headersComplete)
        return length; // trailers of a chunked body
    std::string line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (line.compare(0, 5, "HTTP/") == 0)
    {
        transfer.hopHeaders = line + "\r\n";
        transfer.hopLocation.clear();
        const size_t codeStart = line.find(' ');
        transfer.hopStatus =
            codeStart == std::string::npos
                ? 0
                : static_cast<uint32_t>(std::strtoul(line.c_str() + codeStart + 1, nullptr, 10));
        const size_t textStart =
            codeStart == std::string::npos ? std::string::npos : line.find(' ', codeStart + 1);
        transfer.hopStatusText =
            textStart == std::string::npos ? std::string() : Trim(line.substr(textStart + 1));
    }
    else if (line.empty())
    {
        transfer.hopHeaders += "\r\n";
        transfer.EndOfHeaders();
        if (transfer.ownFailure)
            return 0; // aborts the transfer
    }
    else
    {
        transfer.hopHeaders += line + "\r\n";
        if (StartsWithNoCase(line, "Location:") && transfer.hopLocation.empty())
            transfer.hopLocation = Trim(line.substr(9));
        // curl passes over a length it cannot hold and reads to the close: the body would pass
        // for complete at whatever length it ends.
        if (StartsWithNoCase(line, "Content-Length:") && ExceedsUint64(Trim(line.substr(15))))
        {
            transfer.ownFailure = HttpError::kInvalidServerResponse;
            return 0;
        }
    }
    return length;
}

size_t CurlTransfer::OnBody(char* data, size_t size, size_t count, void* self)
{
    auto& transfer = *static_cast<CurlTransfer*>(self);
    if (transfer.Buffered() >= kReceiveHighMark)
    {
        transfer.pauseMask |= CURLPAUSE_RECV;
        return CURL_WRITEFUNC_PAUSE;
    }
    const size_t length = size * count;
    // Room for the most the buffer ever holds, at once: grown by doubling it would take twice that.
    if (transfer.received.capacity() < kReceiveHighMark + CURL_MAX_WRITE_SIZE)
        transfer.received.reserve(kReceiveHighMark + CURL_MAX_WRITE_SIZE);
    transfer.received.append(data, length);
    ++transfer.activity;
    return length;
}

size_t CurlTransfer::OnUpload(char* buffer, size_t size, size_t count, void* self)
{
    auto& transfer = *static_cast<CurlTransfer*>(self);
    transfer.curlWantsBody = true;
    if (transfer.uploadLeft == 0)
    {
        if (transfer.uploadTaken >= transfer.uploadTotal)
            return 0;
        transfer.pauseMask |= CURLPAUSE_SEND;
        return CURL_READFUNC_PAUSE;
    }
    const size_t length = std::min(size * count, transfer.uploadLeft);
    std::memcpy(buffer, transfer.uploadData, length);
    transfer.uploadData += length;
    transfer.uploadLeft -= length;
    transfer.uploadTaken += length;
    ++transfer.activity;
    return length;
}

int CurlTransfer::OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded)
{
    auto& transfer = *static_cast<CurlTransfer*>(self);
    if (static_cast<uint64_t>(uploaded) != transfer.uploadSent)
    {
        transfer.uploadSent = static_cast<uint64_t>(uploaded);
        ++transfer.activity;
    }
    return 0;
}

} // namespace Platform
