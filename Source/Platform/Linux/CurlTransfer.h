#pragma once
// One HTTP exchange on a libcurl easy handle driven through its own multi handle from the
// caller's thread, in WinINet's pull model: the caller's calls (send, write, read) run the
// transfer until what they wait for is there. Body bytes wait in a bounded buffer; when it
// is full curl is paused, and an unread answer holds the server back through TCP.
// Not thread-safe: one thread at a time, which the owner guarantees.

#include <atomic>
#include <cstdint>
#include <string>

#include <curl/curl.h>

#include "Platform/Common/TransferErrors.h"
#include "Platform/HttpRequest.h"
#include "Platform/Linux/CurlHandles.h"
#include "Platform/Linux/CurlSharedSetup.h"

namespace Platform
{

// Everything one request changes; a fresh value is the state of a closed request.
struct TransferState : TransferErrors
{
    HttpTimeouts timeouts;
    const std::atomic<bool>* keepRunning = nullptr;
    bool secure = true;

    // The response of the current hop; it becomes the final one unless curl follows it.
    std::string hopHeaders;
    uint32_t hopStatus = 0;
    std::string hopStatusText;
    std::string hopLocation;
    bool headersComplete = false;
    std::string rawHeaders;
    uint32_t statusCode = 0;
    std::string statusText;

    std::string received;
    size_t receivedOffset = 0;
    int pauseMask = CURLPAUSE_CONT;

    std::string bodyCopy;
    const char* uploadData = nullptr; // the caller's piece while Write waits for curl to take it
    size_t uploadLeft = 0;
    uint64_t uploadTotal = 0;
    uint64_t uploadTaken = 0; // bytes handed to curl
    uint64_t uploadSent = 0;  // bytes curl reports sent
    bool streamed = false;
    bool curlWantsBody = false; // curl asked for streamed body bytes at least once

    uint64_t activity = 0; // bumped whenever bytes move in either direction
    bool done = false;
    CURLcode result = CURLE_OK;
    int ownFailure = 0; // why this side aborted the transfer from a callback
};

class CurlTransfer : public TransferState
{
public:
    CurlTransfer() = default;
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // Sets up and attaches a request. With streamed, the body comes later through Offer;
    // otherwise body (copied) is the whole body. keepRunning must outlive the request.
    bool Start(const HttpRequestOptions& options, const std::atomic<bool>* keepRunning, bool streamed,
               const void* body, uint64_t bodyLength);
    // Drops the transfer (its connection too unless the exchange ended); the state becomes
    // that of a closed request.
    void Reset();

    // TransferErrors::Fail, and the first failure also detaches an unfinished transfer.
    bool Fail(int error);
    // After a failed send: the step the failure belongs to, when none was named where it arose.
    void NameFailedStep();

    bool WaitForHeaders();
    // Streamed body: waits until curl asks for body bytes (the request went out).
    bool WaitForBodyRequest();
    // Streamed body: waits until curl has taken all length bytes at data.
    bool Offer(const char* data, size_t length, size_t& taken);
    // Waits until body bytes are buffered or the transfer ended; then hands out up to size.
    bool Take(char* buffer, size_t size, size_t& count);

private:
    // What Drive ended on: the awaited condition, the end of the exchange before it (the caller
    // decides what that means), or a failure already recorded.
    enum class Outcome
    {
        Ready,
        Finished,
        Failed
    };
    template <class Ready> Outcome Drive(Ready ready);
    void Detach();
    bool Perform();
    int ErrorFromResult() const;
    void SetPause(int mask);
    size_t Buffered() const { return received.size() - receivedOffset; }
    bool Configure(const HttpRequestOptions& options, const void* body, uint64_t bodyLength);
    void EndOfHeaders();

    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static size_t OnUpload(char* buffer, size_t size, size_t count, void* self);
    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded);

    // Declared so that destruction releases the easy handle before the multi handle and
    // both before the header list they use. The multi handle goes back to the idle ones.
    CurlHeaderList headerList;
    PooledMulti pooledMulti;
    CurlEasy easy;
    bool attached = false;

    CURLM* Multi() const { return pooledMulti.multi.get(); }
};

} // namespace Platform
