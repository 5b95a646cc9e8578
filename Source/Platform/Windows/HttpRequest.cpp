#include "Platform/HttpRequest.h"

namespace Platform
{

bool InitialiseHttp()
{
    return true;
}

void SetHttpTimeoutsForTesting(const HttpTimeouts&) {}
HttpTimeouts GetHttpTimeouts()
{
    return {};
}

struct HttpRequest::Impl
{
    int lastError = 0;
};

HttpRequest::HttpRequest() : impl(std::make_unique<Impl>()) {}
HttpRequest::~HttpRequest() = default;
HttpRequest::HttpRequest(HttpRequest&&) noexcept = default;
HttpRequest& HttpRequest::operator=(HttpRequest&&) noexcept = default;
bool HttpRequest::Send(const HttpRequestOptions&, const void*, size_t, const std::atomic<bool>*)
{
    impl->lastError = HttpError::kInternalError;
    return false;
}
bool HttpRequest::Begin(const HttpRequestOptions&, uint64_t, const std::atomic<bool>*)
{
    impl->lastError = HttpError::kInternalError;
    return false;
}
bool HttpRequest::Write(const void*, size_t, size_t& written)
{
    written = 0;
    return false;
}
bool HttpRequest::End()
{
    return false;
}
uint32_t HttpRequest::StatusCode() const
{
    return 0;
}
std::string HttpRequest::StatusText() const
{
    return {};
}
std::string HttpRequest::RawHeaders() const
{
    return {};
}
bool HttpRequest::Read(void*, size_t, size_t& read)
{
    read = 0;
    return false;
}
int HttpRequest::LastError() const
{
    return impl ? impl->lastError : 0;
}
void HttpRequest::Close() {}
bool HttpRequest::IsOpen() const
{
    return false;
}

} // namespace Platform
