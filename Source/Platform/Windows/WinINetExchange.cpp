#include "Platform/Windows/WinINetExchange.h"

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <thread>

#include "Platform/Windows/WideText.h"

namespace Platform
{

namespace
{

// Redirects are followed by the transfer, not by WinINet: under wine WinINet follows one from
// https to plain http without a word, which would send the request (its signature query too) in
// the clear.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_AUTO_REDIRECT;
constexpr DWORD kHeaderBufferBytes = 524288;
// The body is taken from WinINet while this much room is free; a fuller ring is looked at again
// after a pause, which grows while the reader stays away (paused) and is short again once it reads.
constexpr size_t kReadAheadPiece = 64 * 1024;
constexpr int kFullRingPauseMs = 1;
constexpr int kLongestFullRingPauseMs = 32;
// What wine hands out per call when data keeps coming, and the piece read at once while it does.
constexpr DWORD kWholeBuffer = 8 * 1024;
constexpr size_t kFlowingPiece = 64 * 1024;

// One header as text; empty when the answer has none.
std::wstring QueryText(HINTERNET request, DWORD what)
{
    std::vector<wchar_t> buffer(kHeaderBufferBytes / sizeof(wchar_t), L'\0');
    DWORD length = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (!::HttpQueryInfoW(request, what, buffer.data(), &length, nullptr))
        return {};
    return std::wstring(buffer.data(), length / sizeof(wchar_t));
}

bool EqualsNoCase(const std::wstring& text, const wchar_t* other)
{
    size_t i = 0;
    for (; i < text.size() && other[i] != L'\0'; ++i)
        if (std::towlower(text[i]) != std::towlower(other[i]))
            return false;
    return i == text.size() && other[i] == L'\0';
}

} // namespace

uint32_t WinINetExchange::SilenceLimitMs() const
{
    switch (phase.load())
    {
    case kConnecting:
        return timeouts.connectMs;
    case kSending:
        return timeouts.sendMs;
    default:
        return timeouts.receiveMs;
    }
}

// Status notifications arrive on the thread that makes the call; each one is a sign of life,
// and the steps of a request tell which time-out applies.
void CALLBACK WinINetExchange::OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void*, DWORD)
{
    auto* self = reinterpret_cast<WinINetExchange*>(context);
    if (self == nullptr)
        return;
    ++self->activity;
    switch (status)
    {
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
    case INTERNET_STATUS_SENDING_REQUEST:
        self->phase = kSending;
        break;
    case INTERNET_STATUS_REQUEST_SENT:
    case INTERNET_STATUS_RECEIVING_RESPONSE:
    case INTERNET_STATUS_RESPONSE_RECEIVED:
        self->phase = kReceiving;
        break;
    default:
        break;
    }
}

WinINetExchange::~WinINetExchange()
{
    // Closed already by the caller that left the call; a second close could hit a handle that
    // WinINet has since handed out again.
    if (closedByCaller)
        request.release();
}

void WinINetExchange::CloseRequestFromCaller()
{
    if (request && !closedByCaller.exchange(true))
        ::InternetCloseHandle(request.get());
}

// After a blocking call returned: whether the caller closed the handle meanwhile.
bool WinINetExchange::RequestClosed()
{
    if (!closedByCaller)
        return false;
    error = HttpError::kOperationCancelled;
    return true;
}

void WinINetExchange::SetOption(HINTERNET handle, DWORD option, const char* name, const void* value,
                                DWORD size)
{
    if (HttpOptionRefusedForTesting(name))
        ::SetLastError(ERROR_INTERNET_OPTION_NOT_SETTABLE);
    else if (::InternetSetOptionW(handle, option, const_cast<void*>(value), size))
        return;
    optionFailures.push_back({name, static_cast<int>(::GetLastError())});
}

bool WinINetExchange::Failed()
{
    error = ::GetLastError();
    if (error == 0)
        error = HttpError::kInternalError;
    return false;
}

bool WinINetExchange::Open(const std::wstring& agent, const WinINetTarget& target, const std::wstring& verb,
                           bool decode)
{
    phase = kConnecting;
    step = HttpStep::kInternetOpen;
    internet.reset(::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet)
        return Failed();
    const DWORD limits[] = {timeouts.connectMs, timeouts.sendMs, timeouts.receiveMs};
    SetOption(internet.get(), INTERNET_OPTION_CONNECT_TIMEOUT, "INTERNET_OPTION_CONNECT_TIMEOUT", &limits[0],
              sizeof(DWORD));
    SetOption(internet.get(), INTERNET_OPTION_SEND_TIMEOUT, "INTERNET_OPTION_SEND_TIMEOUT", &limits[1],
              sizeof(DWORD));
    SetOption(internet.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, "INTERNET_OPTION_RECEIVE_TIMEOUT", &limits[2],
              sizeof(DWORD));
    ::InternetSetStatusCallbackW(internet.get(), &WinINetExchange::OnStatus);
    const auto context = reinterpret_cast<DWORD_PTR>(this);
    step = HttpStep::kInternetConnect;
    connection.reset(::InternetConnectW(internet.get(), target.host.c_str(), target.port, nullptr, nullptr,
                                        INTERNET_SERVICE_HTTP, 0, context));
    if (!connection)
        return Failed();
    const DWORD flags = kRequestFlags | (target.secure ? INTERNET_FLAG_SECURE : 0);
    step = HttpStep::kHttpOpenRequest;
    request.reset(::HttpOpenRequestW(connection.get(), verb.c_str(), target.object.c_str(), nullptr, nullptr,
                                     nullptr, flags, context));
    if (!request)
        return Failed();
    // Without decoding the answer comes as sent, so no coding may be offered (decodingAccepted
    // keeps the caller's plain header block).
    if (decode)
    {
        const size_t refused = optionFailures.size();
        BOOL on = TRUE;
        SetOption(request.get(), INTERNET_OPTION_HTTP_DECODING, "INTERNET_OPTION_HTTP_DECODING", &on,
                  sizeof on);
        decodingAccepted = optionFailures.size() == refused;
    }
    step = HttpStep::kHttpSendRequest;
    return true;
}

bool WinINetExchange::Send(const std::wstring& headers)
{
    if (!::HttpSendRequestW(request.get(), headers.empty() ? nullptr : headers.c_str(),
                            static_cast<DWORD>(headers.size()), body.empty() ? nullptr : body.data(),
                            static_cast<DWORD>(body.size())))
        return Failed();
    if (RequestClosed())
        return false;
    return QueryResponse();
}

bool WinINetExchange::SendStreamed(const std::wstring& headers, uint32_t totalLength)
{
    INTERNET_BUFFERSW buffers{};
    buffers.dwStructSize = sizeof buffers;
    buffers.lpcszHeader = headers.empty() ? nullptr : headers.c_str();
    buffers.dwHeadersLength = static_cast<DWORD>(headers.size());
    buffers.dwBufferTotal = totalLength;
    if (!::HttpSendRequestExW(request.get(), &buffers, nullptr, 0, 0))
        return Failed();
    return true;
}

bool WinINetExchange::WritePiece(uint32_t& written)
{
    phase = kSending;
    DWORD count = 0;
    if (!::InternetWriteFile(request.get(), outgoing.data(), static_cast<DWORD>(outgoing.size()), &count))
        return Failed();
    ++activity;
    written = count;
    return true;
}

bool WinINetExchange::EndStreamed()
{
    phase = kReceiving;
    if (!::HttpEndRequestW(request.get(), nullptr, 0, 0))
        return Failed();
    if (RequestClosed())
        return false;
    return QueryResponse();
}

bool WinINetExchange::QueryResponse()
{
    DWORD code = 0;
    DWORD size = sizeof code;
    if (!::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size,
                          nullptr))
    {
        step = HttpStep::kHttpQueryInfo;
        return Failed();
    }
    // A connection that closed without any answer reads as status 0 under wine: the send failed.
    if (code == 0)
    {
        error = HttpError::kConnectionAborted;
        return false;
    }
    step = HttpStep::kHttpQueryInfo;
    status = code;
    statusText = Utf8FromWide(QueryText(request.get(), HTTP_QUERY_STATUS_TEXT));
    rawHeaders = Utf8FromWide(QueryText(request.get(), HTTP_QUERY_RAW_HEADERS_CRLF));
    location = QueryText(request.get(), HTTP_QUERY_LOCATION);

    // WinINet ends a body that stops short of its Content-Length as if it were complete; with
    // the announced length at hand that end can be told from a real one.
    const std::wstring length = QueryText(request.get(), HTTP_QUERY_CONTENT_LENGTH);
    const std::wstring coding = QueryText(request.get(), HTTP_QUERY_CONTENT_ENCODING);
    const std::wstring transfer = QueryText(request.get(), HTTP_QUERY_TRANSFER_ENCODING);
    lengthKnown =
        !length.empty() && (coding.empty() || EqualsNoCase(coding, L"identity")) && transfer.empty();
    contentLength = 0;
    for (wchar_t digit : length)
    {
        if (digit < L'0' || digit > L'9')
        {
            lengthKnown = false;
            break;
        }
        // A length past what 64 bits hold cannot be kept: taken wrapped or left aside, the body
        // would pass for complete at whatever length it ends.
        const auto value = static_cast<uint64_t>(digit - L'0');
        if (contentLength > (UINT64_MAX - value) / 10)
        {
            error = HttpError::kInvalidServerResponse;
            return false;
        }
        contentLength = contentLength * 10 + value;
    }
    step = HttpStep::kNone;
    return true;
}

void WinINetExchange::ReadBodyAhead()
{
    phase = kReceiving;
    int pauseMs = kFullRingPauseMs;
    bool flowing = false;
    try
    {
        while (!ahead.QuitAsked())
        {
            if (closedByCaller)
                return ahead.Finish(HttpError::kOperationCancelled);
            // A reader that does not read (paused) holds the server back through TCP: nothing
            // is taken from WinINet until it made room.
            if (ahead.Room() < kReadAheadPiece)
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
                pauseMs = std::min(2 * pauseMs, kLongestFullRingPauseMs);
                continue;
            }
            pauseMs = kFullRingPauseMs;
            // Asking first returns as soon as anything arrived, and a read of what it reports
            // returns at once; a read of a larger piece waits until it is full. That costs two
            // calls per 8 KiB (wine's buffer), which held the reading below WinINet's own speed.
            // So while the line delivers whole buffers, larger pieces are read without asking
            // (a line that slows down then shows its bytes once the piece is full, at worst).
            size_t room = 0;
            uint8_t* space = ahead.Space(room);
            DWORD want = static_cast<DWORD>(std::min(room, kFlowingPiece));
            if (!flowing)
            {
                DWORD available = 0;
                if (!::InternetQueryDataAvailable(request.get(), &available, 0, 0))
                {
                    Failed();
                    return ahead.Finish(static_cast<int>(error));
                }
                if (available == 0 || RequestClosed())
                    return ahead.Finish(closedByCaller ? HttpError::kOperationCancelled : 0);
                want = available < want ? available : want;
                flowing = available >= kWholeBuffer;
            }
            DWORD read = 0;
            if (!::InternetReadFile(request.get(), space, want, &read))
            {
                Failed();
                return ahead.Finish(static_cast<int>(error));
            }
            if (read == 0)
                return ahead.Finish(0);
            if (read < want)
                flowing = false;
            ++activity;
            ahead.Commit(read);
        }
    }
    catch (...)
    {
        ahead.Finish(HttpError::kInternalError, std::current_exception());
    }
}

} // namespace Platform
