#pragma once
// One HTTP(S) request in the pull model the download workers are written for: open and send,
// then query status and headers, then read the body in pieces when the caller asks for them.
// A caller that stops reading (a paused download) holds the server back through TCP; the
// connection stays open. Nothing here touches the error log: failures come back as the
// WinINet-compatible numbers below, which the error log knows by name.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Platform
{

// Error numbers of transfer failures. They keep the WinINet values so that logs name them.
namespace HttpError
{
constexpr int kTimeout = 12002;
constexpr int kInternalError = 12004;
constexpr int kInvalidUrl = 12005;
constexpr int kNameNotResolved = 12007;
constexpr int kOperationCancelled = 12017;
constexpr int kCannotConnect = 12029;
constexpr int kConnectionAborted = 12030;
constexpr int kConnectionReset = 12031;
constexpr int kCertDateInvalid = 12037;
constexpr int kCertNameInvalid = 12038;
constexpr int kHttpsToHttpRedirect = 12040;
constexpr int kInvalidCa = 12045;
constexpr int kInvalidServerResponse = 12152;
constexpr int kRedirectFailed = 12156;
constexpr int kSecurityChannelError = 12157;
constexpr int kInvalidCertificate = 12169;
constexpr int kDecodingFailed = 12175;
} // namespace HttpError

struct HttpTimeouts
{
    static constexpr uint32_t kConnectMs = 10000;
    static constexpr uint32_t kSendMs = 120000;
    static constexpr uint32_t kReceiveMs = 120000;

    uint32_t connectMs = kConnectMs;
    uint32_t sendMs = kSendMs;
    // Silence allowed while the caller is waiting for data; time the caller spends not
    // reading (paused) never counts.
    uint32_t receiveMs = kReceiveMs;
};

// Readies the HTTP library and the TLS library under it for the whole process; true when they
// are usable. Each registers its own clean-up at exit when first readied, and clean-ups run in
// the reverse order of registration: an object that stops requests in its destructor at exit
// must have this called before it is created, or the libraries are gone before its requests.
bool InitialiseHttp();

// Test-only seam: the time-outs every new request takes. Production code never calls it.
void SetHttpTimeoutsForTesting(const HttpTimeouts& timeouts);
HttpTimeouts GetHttpTimeouts();

// Test-only seam: options of the given names ("INTERNET_OPTION_HTTP_DECODING", ...) are refused
// by every new request, as a library may refuse them. HttpOptionRefusedForTesting is the layers' side.
void RefuseHttpOptionsForTesting(const std::vector<std::string>& options);
bool HttpOptionRefusedForTesting(const std::string& option);

// The step of setting up and sending a request that failed, named after the WinINet call that
// makes it; on Linux, the step the failure of libcurl belongs to.
enum class HttpStep
{
    kNone,
    kInternetOpen,
    kInternetConnect,
    kHttpOpenRequest,
    kHttpSendRequest,
    kHttpQueryInfo,
};

// An option the HTTP library refused while a request was set up; the request went on without it.
struct HttpOptionFailure
{
    std::string option; // "INTERNET_OPTION_CONNECT_TIMEOUT", "INTERNET_OPTION_HTTP_DECODING", ...
    int error = 0;
};

struct HttpRequestOptions
{
    std::string host;           // "name" or "name:port"
    uint16_t defaultPort = 443; // used when host carries no port
    bool secure = true;         // HTTPS; certificates are always verified
    std::string verb = "GET";
    std::string target;         // sent with a leading "/" added when it lacks one
    std::string headerBlock;    // "Name: value" lines separated by "\r\n", in sending order
    bool decodeContent = false; // undo gzip/deflate content encoding of the answer
    // With decodeContent: the block sent instead of headerBlock once the library agreed to decode
    // (it names the codings then); a library that refuses sends headerBlock. Empty: headerBlock.
    std::string decodingHeaderBlock;
    // The name the HTTP library introduces itself with where it has one (WinINet's agent, sent
    // as User-Agent unless headerBlock names one); libcurl has none, so Linux ignores it.
    std::string agent;
};

class HttpRequest
{
public:
    HttpRequest();
    ~HttpRequest();
    HttpRequest(HttpRequest&&) noexcept;
    HttpRequest& operator=(HttpRequest&&) noexcept;
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    // Sends the request with the whole body and returns once the response headers are in.
    // keepRunning (may be null) is polled at least every 100 ms; clearing it cancels the
    // request with kOperationCancelled. Write, End and Read poll it too, so it must stay
    // valid until the request is closed.
    bool Send(const HttpRequestOptions& options, const void* body, size_t bodyLength,
              const std::atomic<bool>* keepRunning);

    // Streamed form of Send: Begin announces the total body length, Write hands over the
    // body piece by piece (each call returns when the piece is on its way), End finishes
    // the request and waits for the response headers.
    bool Begin(const HttpRequestOptions& options, uint64_t totalLength, const std::atomic<bool>* keepRunning);
    bool Write(const void* data, size_t length, size_t& written);
    bool End();

    uint32_t StatusCode() const;
    std::string StatusText() const;
    // Status line and header lines as received, each ending in "\r\n", then an empty line.
    std::string RawHeaders() const;

    // Reads up to size bytes of the body. read == 0 with true means the body is complete.
    bool Read(void* buffer, size_t size, size_t& read);

    // The error number of the last failed call, 0 when none failed.
    int LastError() const;
    // Where a failed Send or Begin stopped; kNone after a success or before any request.
    HttpStep FailedStep() const;
    // Of the last Send or Begin: the options refused, in the order they were tried, and whether
    // the library agreed to decode the answer (decodingHeaderBlock went out).
    std::vector<HttpOptionFailure> OptionFailures() const;
    bool DecodingAccepted() const;

    // Closes the connection; the object can then send another request.
    void Close();
    bool IsOpen() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

} // namespace Platform
