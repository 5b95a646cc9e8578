#include "Platform/HttpRequest.h"

#include "Platform/Linux/CurlHandles.h"
#include "Platform/Linux/CurlTransfer.h"

namespace Platform
{

bool InitialiseHttp()
{
    return EnsureCurlInitialised();
}

// The transfer lives on the heap so that curl's callbacks keep a stable address while the
// HttpRequest itself is moved.
struct HttpRequest::Impl
{
    CurlTransfer transfer;
};

HttpRequest::HttpRequest() : impl(std::make_unique<Impl>()) {}
HttpRequest::~HttpRequest() = default;
HttpRequest::HttpRequest(HttpRequest&&) noexcept = default;
HttpRequest& HttpRequest::operator=(HttpRequest&&) noexcept = default;

bool HttpRequest::Send(const HttpRequestOptions& options, const void* body, size_t bodyLength,
                       const std::atomic<bool>* keepRunning)
{
    if (!impl)
        impl = std::make_unique<Impl>();
    CurlTransfer& transfer = impl->transfer;
    if (transfer.Start(options, keepRunning, false, body, bodyLength) && transfer.WaitForHeaders())
        return true;
    transfer.NameFailedStep();
    return false;
}

bool HttpRequest::Begin(const HttpRequestOptions& options, uint64_t totalLength,
                        const std::atomic<bool>* keepRunning)
{
    if (!impl)
        impl = std::make_unique<Impl>();
    CurlTransfer& transfer = impl->transfer;
    if (transfer.Start(options, keepRunning, true, nullptr, totalLength) && transfer.WaitForBodyRequest())
        return true;
    transfer.NameFailedStep();
    return false;
}

bool HttpRequest::Write(const void* data, size_t length, size_t& written)
{
    written = 0;
    if (!impl || !impl->transfer.Usable())
        return false;
    CurlTransfer& transfer = impl->transfer;
    if (!transfer.streamed || (!data && length > 0))
    {
        transfer.lastError = HttpError::kInternalError;
        return false;
    }
    return length == 0 || transfer.Offer(static_cast<const char*>(data), length, written);
}

bool HttpRequest::End()
{
    if (!impl || !impl->transfer.Usable())
        return false;
    CurlTransfer& transfer = impl->transfer;
    // A body shorter than announced can never complete; the server would wait for the rest.
    if (transfer.streamed && transfer.uploadTaken < transfer.uploadTotal)
        return transfer.Fail(HttpError::kConnectionAborted);
    return transfer.WaitForHeaders();
}

uint32_t HttpRequest::StatusCode() const
{
    return impl ? impl->transfer.statusCode : 0;
}

std::string HttpRequest::StatusText() const
{
    return impl ? impl->transfer.statusText : std::string();
}

std::string HttpRequest::RawHeaders() const
{
    return impl ? impl->transfer.rawHeaders : std::string();
}

bool HttpRequest::Read(void* buffer, size_t size, size_t& read)
{
    read = 0;
    if (!impl || !impl->transfer.Usable())
        return false;
    CurlTransfer& transfer = impl->transfer;
    // Zero bytes would read as "body complete"; a read before the answer has nothing to read.
    if (!buffer || size == 0 || !transfer.headersComplete)
    {
        transfer.lastError = HttpError::kInternalError;
        return false;
    }
    return transfer.Take(static_cast<char*>(buffer), size, read);
}

int HttpRequest::LastError() const
{
    return impl ? impl->transfer.lastError : 0;
}

HttpStep HttpRequest::FailedStep() const
{
    return impl ? impl->transfer.failedStep : HttpStep::kNone;
}

std::vector<HttpOptionFailure> HttpRequest::OptionFailures() const
{
    return impl ? impl->transfer.optionFailures : std::vector<HttpOptionFailure>{};
}

bool HttpRequest::DecodingAccepted() const
{
    return impl && impl->transfer.decodingAccepted;
}

void HttpRequest::Close()
{
    if (impl)
        impl->transfer.Reset();
}

bool HttpRequest::IsOpen() const
{
    return impl && impl->transfer.open;
}

} // namespace Platform
