#pragma once
// Sends one HTTP request on a worker thread of its own and collects the answer. Callers fill
// the object, call PostFields or PostBody (which wait for the worker) and read the results.
// A request is tried up to three times, but only when the connection or the sending failed:
// any HTTP status is an answer, judged by the caller through GetStatusCode.

#include "Core/ByteBuffer.h"
#include "Core/Hld_Thread.h"
#include "Core/ScopedLock.h"
#include "Platform/HttpRequest.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

namespace DownloadSystem
{

class FileUpload : public nd::Hld_Thread
{
public:
    using StringMap = std::map<std::u16string, std::u16string>;

    static constexpr uint32_t kMethodGet = 1;
    static constexpr uint32_t kMethodPost = 2;
    static constexpr uint32_t kMethodPut = 3;
    static constexpr uint32_t kMethodDelete = 4;
    // Status code and text when every attempt failed to send.
    static constexpr uint32_t kStatusFailed = 9000;
    static constexpr uint64_t kAttemptLimit = 3;
    static constexpr uint64_t kResponseChunkSize = 1048576;
    // The most bytes of an answer that are read; a longer answer is read as an empty one.
    static constexpr uint64_t kAnswerLimit = 16 * 1024 * 1024;
    static constexpr size_t kWriteChunkSize = 1024;

    FileUpload();
    // Stops the worker (15 s), then still waits until it has left Run.
    ~FileUpload() override;
    FileUpload(const FileUpload&) = delete;
    FileUpload& operator=(const FileUpload&) = delete;

    // Form-field request, sent in one piece. With encode, every value is URL-encoded first.
    // Both calls return once the worker ended; true when an answer (any status) was read. They
    // never wait longer than RunTimeLimitMs (or the tighter SetTimeLimitMs): a request still
    // running then is stopped and fails like one whose attempts ran out (status 9000).
    bool PostFields(const std::u16string& url, uint32_t method, const StringMap& headers,
                    const StringMap& fields, bool encode);
    // Raw-body request, always sent through the streamed path.
    bool PostBody(const std::u16string& url, uint32_t method, const StringMap& headers,
                  const nd::ByteBuffer& body);

    // Results: read after the worker ended (the body accessors may be used at any time).
    uint32_t GetStatusCode() const { return statusCode; }
    const std::u16string& GetStatusText() const { return statusText; }
    std::string GetStatusTextNarrow() const;
    std::string GetResponseText() const;        // 8-bit, up to the first zero byte
    std::u16string GetResponseTextWide() const; // GetResponseText through ToWide
    std::u16string GetResponseUtf16() const;    // the body taken as UTF-16LE code units
    nd::ByteBuffer GetResponseBody() const;
    const StringMap& GetResponseHeaders() const { return responseHeaders; }
    const std::u16string& GetRawResponseHeaders() const { return rawResponseHeaders; }
    uint64_t GetBytesToSend() const { return bytesToSend; }
    uint64_t GetBytesSent() const { return bytesSent; }
    uint64_t GetBytesReceived() const { return bytesReceived; }
    uint64_t GetAttempts() const { return attempts; }

    // Single-item set-up; only while the worker is not running.
    void AddField(const std::u16string& name, const std::u16string& value, bool encode = false);
    void SetHeader(const std::u16string& name, const std::u16string& value);
    void SetBody(const nd::ByteBuffer& body);
    void SetMethod(uint32_t value) { method = value; }
    // Empties the request maps, the raw body, bytes sent, status code and status text.
    void Reset();

    // Every attempt running into each of its time-outs: the longest a request may legitimately
    // take. A server that trickles its answer never falls silent long enough for a time-out, so
    // without this bound it could hold the caller (the UI thread) for ever.
    static uint32_t RunTimeLimitMs();
    // Set-up: a tighter bound than RunTimeLimitMs for PostFields and PostBody, for callers that
    // must go on in a given time (the exit step).
    void SetTimeLimitMs(uint32_t limitMs) { timeLimitMs = limitMs; }
    // Set-up: a flag of the caller's that, once set from any thread, ends the request within
    // 100 ms, failing like one whose attempts ran out; already set, the request is not sent.
    // The flag must outlive the request.
    void SetCancelFlag(const std::atomic<bool>* flag) { cancelFlag = flag; }

    // Splits the URL into host, path, port and secure flag and stores them.
    void ServerSettingsFromUrl(const std::u16string& url);
    // Header lines in key order, "\r\n" between entries and none after the last.
    // With offerCodings, as sent when the transfer layer decodes: Accept-Encoding names gzip and deflate.
    std::u16string BuildRequestHeaders(bool offerCodings = false) const;
    // The raw body if there is one, else the form fields in key order joined by "&".
    void BuildRequestBody(nd::ByteBuffer& body) const;
    // Keeps the raw text and rebuilds the response-header map from it.
    void ParseResponseHeaders(const std::u16string& raw);

    const std::u16string& GetHost() const { return host; }
    const std::u16string& GetPath() const { return path; }
    uint32_t GetPort() const { return port; }
    bool IsSecure() const { return secure; }
    const StringMap& GetRequestHeaders() const { return requestHeaders; }

protected:
    void Run() override;

private:
    bool Execute();
    bool Cancelled() const { return cancelFlag != nullptr && cancelFlag->load(); }
    bool GiveUp(const std::string& why, int errorNumber);
    void OpenRequest(Platform::HttpRequestOptions& options);
    void Disconnect();
    bool RecordSetUp();
    bool SendPlain(const Platform::HttpRequestOptions& options, const nd::ByteBuffer& body);
    bool SendStreamed(const Platform::HttpRequestOptions& options, const nd::ByteBuffer& body);
    void ReadAnswer();
    void SleepWhileRunning(uint32_t milliseconds);

    std::u16string host;
    uint32_t method = kMethodPost;
    std::u16string verb = u"POST";
    StringMap requestHeaders;
    StringMap formFields;
    nd::ByteBuffer rawBody;
    nd::ByteBuffer responseBody; // guarded by lock
    StringMap responseHeaders;
    std::u16string rawResponseHeaders;
    uint32_t statusCode = 0;
    std::u16string statusText;
    Platform::HttpRequest request;
    uint32_t port = 80;
    bool secure = false;
    uint64_t responseChunkSize = kResponseChunkSize;
    uint64_t bytesReceived = 0;
    uint64_t bytesToSend = 0;
    uint64_t bytesSent = 0;
    uint64_t attempts = 0;
    uint64_t attemptLimit = kAttemptLimit;
    bool answered = false;
    uint32_t timeLimitMs = kInfinite;
    const std::atomic<bool>* cancelFlag = nullptr;
    std::u16string path;
    mutable nd::CriticalSection lock;
};

} // namespace DownloadSystem
