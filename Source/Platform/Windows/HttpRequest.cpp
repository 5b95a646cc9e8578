#include "Platform/HttpRequest.h"

#include "Platform/Windows/WinINetTransfer.h"

namespace Platform
{

// WinINet needs no process-wide set-up and cleans up after itself when the process ends.
bool InitialiseHttp()
{
    return true;
}

struct HttpRequest::Impl
{
    WinINetTransfer transfer;
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
    return impl->transfer.Send(options, body, bodyLength, keepRunning);
}

bool HttpRequest::Begin(const HttpRequestOptions& options, uint64_t totalLength,
                        const std::atomic<bool>* keepRunning)
{
    if (!impl)
        impl = std::make_unique<Impl>();
    return impl->transfer.Begin(options, totalLength, keepRunning);
}

bool HttpRequest::Write(const void* data, size_t length, size_t& written)
{
    written = 0;
    return impl && impl->transfer.Write(data, length, written);
}

bool HttpRequest::End()
{
    return impl && impl->transfer.End();
}

uint32_t HttpRequest::StatusCode() const
{
    return impl ? impl->transfer.StatusCode() : 0;
}

std::string HttpRequest::StatusText() const
{
    return impl ? impl->transfer.StatusText() : std::string();
}

std::string HttpRequest::RawHeaders() const
{
    return impl ? impl->transfer.RawHeaders() : std::string();
}

bool HttpRequest::Read(void* buffer, size_t size, size_t& read)
{
    read = 0;
    return impl && impl->transfer.Read(buffer, size, read);
}

int HttpRequest::LastError() const
{
    return impl ? impl->transfer.LastError() : 0;
}

HttpStep HttpRequest::FailedStep() const
{
    return impl ? impl->transfer.FailedStep() : HttpStep::kNone;
}

std::vector<HttpOptionFailure> HttpRequest::OptionFailures() const
{
    return impl ? impl->transfer.OptionFailures() : std::vector<HttpOptionFailure>{};
}

bool HttpRequest::DecodingAccepted() const
{
    return impl && impl->transfer.DecodingAccepted();
}

void HttpRequest::Close()
{
    if (impl)
        impl->transfer.Reset();
}

bool HttpRequest::IsOpen() const
{
    return impl && impl->transfer.IsOpen();
}

} // namespace Platform
