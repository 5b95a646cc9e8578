#include "Platform/Windows/WinINetTransfer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "Platform/Windows/WideText.h"

namespace Platform
{

namespace
{

constexpr int kMaxRedirects = 5;
// A reader that finds no bytes yields a few times, then sleeps a millisecond at a time: spinning
// would take the processor from the call thread and the server that fill the ring (which holds
// far more than a millisecond of any line), and waiting on an event would cost a round trip to the
// wine server per piece.
constexpr int kYieldsBeforeSleeping = 2;

bool IsToken(const std::string& verb)
{
    return !verb.empty() && std::all_of(verb.begin(), verb.end(),
                                        [](char c)
                                        {
                                            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                                   (c >= '0' && c <= '9') || c == '-' || c == '_';
                                        });
}

bool IsRedirect(uint32_t status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

void WinINetTransfer::StopReadingAhead()
{
    if (!exchange || !readingAhead)
        return;
    exchange->ahead.Quit();
    // A call still waiting for the network is ended where closing its request ends it.
    if (!exchange->ahead.Ended())
        exchange->CloseRequestFromCaller();
}

void WinINetTransfer::Reset()
{
    StopReadingAhead();
    thread.reset();
    exchange.reset();
    static_cast<WinINetTransferState&>(*this) = WinINetTransferState{};
}

bool WinINetTransfer::Prepare(const HttpRequestOptions& options, const std::atomic<bool>* running,
                              bool isStreamed)
{
    Reset();
    open = true;
    timeouts = GetHttpTimeouts();
    keepRunning = running;
    streamed = isStreamed;
    decode = options.decodeContent;
    agent = WideFromUtf8(options.agent);
    const std::string method = options.verb.empty() ? std::string("GET") : options.verb;
    if (!IsToken(method))
        return FailAt(HttpStep::kHttpOpenRequest, HttpError::kInternalError);
    verb = WideFromUtf8(method);
    headers = WideFromUtf8(options.headerBlock);
    decodingHeaders =
        decode && !options.decodingHeaderBlock.empty() ? WideFromUtf8(options.decodingHeaderBlock) : headers;
    int error = 0;
    const auto parsed = TargetFromOptions(options, error);
    if (!parsed)
        return FailAt(HttpStep::kHttpOpenRequest, error);
    target = *parsed;
    thread = std::make_unique<CallThread>();
    return true;
}

bool WinINetTransfer::Call(const std::function<bool(WinINetExchange&)>& step)
{
    // The call holds the exchange: if the wait below is left, it still has what it works on.
    std::shared_ptr<WinINetExchange> held = exchange;
    const CallThread::Outcome outcome =
        thread->Run([held, step] { held->succeeded = step(*held); }, keepRunning, held->activity,
                    [held] { return held->SilenceLimitMs(); });
    if (outcome != CallThread::Outcome::Returned)
    {
        // The left call ends on its own, sooner where closing its request ends it; nothing of it
        // is used again.
        held->CloseRequestFromCaller();
        thread.reset();
        exchange.reset();
        return FailAt(held->step, outcome == CallThread::Outcome::Cancelled ? HttpError::kOperationCancelled
                                                                            : HttpError::kTimeout);
    }
    if (!held->succeeded)
        return FailAt(held->step, static_cast<int>(held->error));
    return true;
}

bool WinINetTransfer::OpenAndSend(const std::function<bool(WinINetExchange&, const std::wstring&)>& send)
{
    exchange = std::make_shared<WinINetExchange>();
    exchange->timeouts = timeouts;
    exchange->body = body;
    const WinINetTarget to = target;
    const std::wstring name = agent;
    const std::wstring method = verb;
    const bool decoding = decode;
    const std::wstring plain = headers;
    const std::wstring offering = decodingHeaders;
    const std::shared_ptr<WinINetExchange> opened = exchange;
    const bool sent = Call(
        [=](WinINetExchange& on)
        { return on.Open(name, to, method, decoding) && send(on, on.decodingAccepted ? offering : plain); });
    // What the set-up reported stays readable after a failed send; a left call may still be
    // writing it.
    if (exchange)
    {
        optionFailures = opened->optionFailures;
        decodingAccepted = opened->decodingAccepted;
    }
    return sent;
}

bool WinINetTransfer::TakeAnswer(bool bodyCanBeSentAgain)
{
    for (;;)
    {
        const WinINetExchange& answer = *exchange;
        if (IsRedirect(answer.status) && !answer.location.empty() &&
            (bodyCanBeSentAgain || (answer.status != 307 && answer.status != 308)))
        {
            if (redirects == kMaxRedirects)
                return FailAt(HttpStep::kHttpSendRequest, HttpError::kRedirectFailed);
            const auto next = TargetFromLocation(target, answer.location);
            if (!next)
                return FailAt(HttpStep::kHttpSendRequest, HttpError::kRedirectFailed);
            if (target.secure && !next->secure)
                return FailAt(HttpStep::kHttpSendRequest, HttpError::kHttpsToHttpRedirect);
            ++redirects;
            target = *next;
            // As browsers do: the answer to a POST is fetched with a GET, and 303 always means one.
            if (answer.status == 303 || ((answer.status == 301 || answer.status == 302) && verb == L"POST"))
            {
                verb = L"GET";
                body.clear();
            }
            if (!OpenAndSend([](WinINetExchange& on, const std::wstring& lines) { return on.Send(lines); }))
                return false;
            bodyCanBeSentAgain = true;
            continue;
        }
        statusCode = answer.status;
        statusText = answer.statusText;
        rawHeaders = answer.rawHeaders;
        headersComplete = true;
        return true;
    }
}

bool WinINetTransfer::Send(const HttpRequestOptions& options, const void* data, size_t length,
                           const std::atomic<bool>* running)
{
    if (!Prepare(options, running, false))
        return false;
    if ((length > 0 && !data) || length > MAXDWORD)
        return FailAt(HttpStep::kHttpSendRequest, HttpError::kInternalError);
    body.assign(static_cast<const char*>(data ? data : ""), length);
    return OpenAndSend([](WinINetExchange& on, const std::wstring& lines) { return on.Send(lines); }) &&
           TakeAnswer(true);
}

bool WinINetTransfer::Begin(const HttpRequestOptions& options, uint64_t totalLength,
                            const std::atomic<bool>* running)
{
    if (!Prepare(options, running, true))
        return false;
    if (totalLength > MAXDWORD)
        return FailAt(HttpStep::kHttpSendRequest, HttpError::kInternalError);
    uploadTotal = totalLength;
    const auto total = static_cast<uint32_t>(totalLength);
    return OpenAndSend([total](WinINetExchange& on, const std::wstring& lines)
                       { return on.SendStreamed(lines, total); });
}

bool WinINetTransfer::Write(const void* data, size_t length, size_t& written)
{
    written = 0;
    if (!Usable())
        return false;
    if (!streamed || headersComplete || (!data && length > 0) || uploadTaken + length > uploadTotal)
    {
        lastError = HttpError::kInternalError; // nothing is sent
        return false;
    }
    if (length == 0)
        return true;
    const auto* bytes = static_cast<const char*>(data);
    exchange->outgoing.assign(bytes, bytes + length);
    if (!Call(
            [](WinINetExchange& on)
            {
                uint32_t count = 0;
                if (!on.WritePiece(count))
                    return false;
                on.outgoing.resize(count);
                return true;
            }))
        return false;
    written = exchange->outgoing.size();
    uploadTaken += written;
    return true;
}

bool WinINetTransfer::End()
{
    if (!Usable())
        return false;
    if (!streamed || headersComplete)
    {
        lastError = HttpError::kInternalError;
        return false;
    }
    // A body shorter than announced can never complete; the server would wait for the rest.
    if (uploadTaken < uploadTotal)
        return Fail(HttpError::kConnectionAborted);
    // The body went out piece by piece and is gone: a redirect that needs it again is the answer.
    return Call([](WinINetExchange& on) { return on.EndStreamed(); }) && TakeAnswer(false);
}

bool WinINetTransfer::WaitForBody()
{
    using Clock = std::chrono::steady_clock;
    const WinINetExchange& on = *exchange;
    uint64_t seen = on.activity.load();
    auto silentSince = Clock::now();
    for (int round = 0; !on.ahead.HasBytes() && !on.ahead.Ended(); ++round)
    {
        int error = 0;
        if (keepRunning && !keepRunning->load())
            error = HttpError::kOperationCancelled;
        const auto now = Clock::now();
        const uint64_t current = on.activity.load();
        if (current != seen)
        {
            seen = current;
            silentSince = now;
        }
        else if (now - silentSince >= std::chrono::milliseconds(on.SilenceLimitMs()))
        {
            error = HttpError::kTimeout;
        }
        if (error)
        {
            // The reading call ends on its own; nothing of it is used again.
            StopReadingAhead();
            thread.reset();
            exchange.reset();
            return Fail(error);
        }
        if (round < kYieldsBeforeSleeping)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool WinINetTransfer::Read(void* buffer, size_t size, size_t& read)
{
    read = 0;
    if (!Usable())
        return false;
    // Zero bytes would read as "body complete"; a read before the answer has nothing to read.
    if (!buffer || size == 0 || !headersComplete)
    {
        lastError = HttpError::kInternalError;
        return false;
    }
    if (bodyComplete)
        return true;
    // The reader asks for little (1 KiB) and reports progress after each piece: a hand-over to the
    // call thread per piece held a transfer under wine to a tenth of WinINet's own speed. So the
    // call thread reads the whole body ahead, and a read only takes what is there.
    if (!readingAhead)
    {
        const std::shared_ptr<WinINetExchange> held = exchange;
        if (!thread->Start([held] { held->ReadBodyAhead(); }))
            return Fail(HttpError::kInternalError);
        readingAhead = true;
    }
    ReadAhead& ahead = exchange->ahead;
    read = ahead.Take(buffer, size);
    if (read == 0)
    {
        if (!WaitForBody())
            return false;
        read = exchange->ahead.Take(buffer, size);
    }
    if (read > 0)
    {
        bodyReceived += read;
        return true;
    }
    if (const std::exception_ptr thrown = exchange->ahead.Thrown())
    {
        readingAhead = false;
        std::rethrow_exception(thrown);
    }
    if (exchange->ahead.EndError() != 0)
        return Fail(exchange->ahead.EndError());
    const bool noBody = verb == L"HEAD" || statusCode == 204 || statusCode == 304 || statusCode < 200;
    if (exchange->lengthKnown && !noBody && bodyReceived < exchange->contentLength)
        return Fail(HttpError::kConnectionAborted);
    bodyComplete = true;
    return true;
}

} // namespace Platform
