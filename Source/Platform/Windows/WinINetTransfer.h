#pragma once
// One HTTP exchange on WinINet in the pull model HttpRequest promises: every blocking WinINet
// call runs on a CallThread while the caller waits in short slices, so that clearing the running
// flag ends the wait within 25 ms and a silent line ends it after the time-out of what is being
// waited for, whatever WinINet does meanwhile. Redirects are followed here (at most five, never
// from https to http). Not thread-safe: one thread at a time, which the owner guarantees.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Platform/Common/TransferErrors.h"
#include "Platform/HttpRequest.h"
#include "Platform/Windows/CallThread.h"
#include "Platform/Windows/WinINetExchange.h"

namespace Platform
{

// Everything one request changes; a fresh value is the state of a closed request.
struct WinINetTransferState : TransferErrors
{
    HttpTimeouts timeouts;
    const std::atomic<bool>* keepRunning = nullptr;
    WinINetTarget target;
    std::wstring agent;
    std::wstring verb;
    std::wstring headers;
    std::wstring decodingHeaders; // sent instead of headers when WinINet agreed to decode
    std::string body;
    bool decode = false;
    bool streamed = false;
    int redirects = 0;

    bool headersComplete = false;
    bool readingAhead = false; // the call thread reads the body into the exchange's ring
    bool bodyComplete = false;
    uint64_t uploadTotal = 0;
    uint64_t uploadTaken = 0;
    uint64_t bodyReceived = 0;
    uint32_t statusCode = 0;
    std::string statusText;
    std::string rawHeaders;
};

class WinINetTransfer : private WinINetTransferState
{
public:
    WinINetTransfer() = default;
    WinINetTransfer(const WinINetTransfer&) = delete;
    WinINetTransfer& operator=(const WinINetTransfer&) = delete;

    bool Send(const HttpRequestOptions& options, const void* body, size_t bodyLength,
              const std::atomic<bool>* keepRunning);
    bool Begin(const HttpRequestOptions& options, uint64_t totalLength, const std::atomic<bool>* keepRunning);
    bool Write(const void* data, size_t length, size_t& written);
    bool End();
    bool Read(void* buffer, size_t size, size_t& read);
    // Drops the exchange; the state becomes that of a closed request.
    void Reset();

    bool IsOpen() const { return open; }
    uint32_t StatusCode() const { return statusCode; }
    const std::string& StatusText() const { return statusText; }
    const std::string& RawHeaders() const { return rawHeaders; }
    int LastError() const { return lastError; }
    HttpStep FailedStep() const { return failedStep; }
    const std::vector<HttpOptionFailure>& OptionFailures() const { return optionFailures; }
    bool DecodingAccepted() const { return decodingAccepted; }

private:
    bool Prepare(const HttpRequestOptions& options, const std::atomic<bool>* keepRunning, bool isStreamed);
    // Opens a fresh exchange to the current target and runs send on it with the header block
    // that fits what WinINet agreed to.
    bool OpenAndSend(const std::function<bool(WinINetExchange&, const std::wstring&)>& send);
    // Runs step on the call thread; a failure, a cancel or a time-out ends the request.
    bool Call(const std::function<bool(WinINetExchange&)>& step);
    // After an answer: follows it when it is a redirect, else takes it as the response.
    bool TakeAnswer(bool bodyCanBeSentAgain);
    // Until body bytes or the body's end are there; false, with the request ended, on a stop or
    // when the line stayed silent for the receive time-out.
    bool WaitForBody();
    // Ends the reading ahead of a request that is dropped or left.
    void StopReadingAhead();

    // The call thread is declared after the exchange, so that it is gone (a left call keeps its
    // own reference) before the exchange is released.
    std::shared_ptr<WinINetExchange> exchange;
    std::unique_ptr<CallThread> thread;
};

} // namespace Platform
