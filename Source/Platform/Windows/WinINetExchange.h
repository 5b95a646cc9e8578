#pragma once
// The WinINet side of one HTTP exchange: the three handles and the synchronous calls on them.
// Every call here blocks and runs on the exchange's CallThread; the caller reads the results
// after the call returned, and never again once it left a call (the exchange then lives on with
// the thread until the call ends, and closes its handles there). Windows-only helper.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "Platform/HttpRequest.h"
#include "Platform/Windows/ReadAhead.h"
#include "Platform/Windows/Win32Owners.h"
#include "Platform/Windows/WinINetTarget.h"

namespace Platform
{

struct WinINetExchange
{
    // What the caller's wait reads while a call runs; declared before the handles, so that the
    // closing callbacks of the handles still find them.
    enum Phase : int
    {
        kConnecting,
        kSending,
        kReceiving,
    };
    std::atomic<uint64_t> activity{0};
    std::atomic<int> phase{kConnecting};
    // The step being made, and after a failure the step that failed.
    std::atomic<HttpStep> step{HttpStep::kInternetOpen};
    HttpTimeouts timeouts;

    WinINetExchange() = default;
    ~WinINetExchange();
    WinINetExchange(const WinINetExchange&) = delete;
    WinINetExchange& operator=(const WinINetExchange&) = delete;

    // The silence the current phase allows.
    uint32_t SilenceLimitMs() const;

    // From the waiting side, for a call it leaves: closes the request handle, WinINet's way of
    // ending a blocking call on it (wine ignores it: there the call ends when the network lets it
    // go). The call's thread then makes no further call on the handle.
    void CloseRequestFromCaller();

    // [SECTION] Calls (each returns false with error set)

    // Internet handle with the agent name, the system's proxy settings and the time-outs;
    // connection to the target's host; the request, without redirects followed by WinINet.
    bool Open(const std::wstring& agent, const WinINetTarget& target, const std::wstring& verb, bool decode);
    // The whole request with body; the response headers are in when it returns.
    bool Send(const std::wstring& headers);
    // Streamed request: the headers and the announced length, then the body piece by piece.
    bool SendStreamed(const std::wstring& headers, uint32_t totalLength);
    bool WritePiece(uint32_t& written);
    bool EndStreamed();
    // The whole body into ahead, as fast as it arrives and the reader makes room, until its end,
    // a failure or the reader's Quit. Runs on the call thread for the rest of the exchange.
    void ReadBodyAhead();

    // [SECTION] Results of the last call

    DWORD error = 0;
    uint32_t status = 0;
    std::string statusText;
    std::string rawHeaders;
    std::wstring location;
    // Content-Length when the bytes read must add up to it (no content coding, not chunked).
    bool lengthKnown = false;
    uint64_t contentLength = 0;
    // Of Open: the options WinINet refused, and whether it agreed to decode the answer.
    std::vector<HttpOptionFailure> optionFailures;
    bool decodingAccepted = false;
    ReadAhead ahead;        // the body, read ahead by ReadBodyAhead
    bool succeeded = false; // what the last call returned

    // What the calls send, kept here because a call the caller left still reads them.
    std::string body;
    std::vector<char> outgoing;

    // Closed in the order request, connection, internet handle (reverse declaration order).
    InternetHandle internet;
    InternetHandle connection;
    InternetHandle request;

private:
    bool Failed();
    bool RequestClosed();
    void SetOption(HINTERNET handle, DWORD option, const char* name, const void* value, DWORD size);

    std::atomic<bool> closedByCaller{false};
    bool QueryResponse();
    static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, void* information,
                                  DWORD length);
};

} // namespace Platform
