#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>

#include "Platform/Linux/CurlErrors.h"
#include "Platform/Linux/CurlTransfer.h"

namespace Platform
{
namespace
{

constexpr long kMaxRedirects = 5;

std::vector<std::string> SplitHeaderBlock(const std::string& block)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < block.size())
    {
        size_t end = block.find('\n', start);
        if (end == std::string::npos)
            end = block.size();
        std::string line = block.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") != std::string::npos)
            lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool HasHeader(const std::vector<std::string>& lines, const char* name)
{
    const size_t length = std::strlen(name);
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) {
                           return line.size() > length && line[length] == ':' &&
                                  strncasecmp(line.c_str(), name, length) == 0;
                       });
}

// "https://host:port/target"; empty when the parts cannot form a request URL.
std::string BuildUrl(const HttpRequestOptions& options)
{
    const std::string& host = options.host;
    if (host.empty() || host.find_first_of("/?#@ \t\r\n\\") != std::string::npos)
        return {};
    std::string url = options.secure ? "https://" : "http://";
    const bool bracketed = host.front() == '[';
    const auto colons = std::count(host.begin(), host.end(), ':');
    const bool hasPort = bracketed ? host.find("]:") != std::string::npos : colons == 1;
    url += (!bracketed && colons > 1) ? "[" + host + "]" : host; // a bare IPv6 address
    if (!hasPort)
        url += ":" + std::to_string(options.defaultPort);
    if (options.target.empty() || options.target.front() != '/')
        url += '/';
    for (char c : options.target)
    {
        // No request target can carry a raw "#" or space: curl would cut the first and
        // refuse the second, so both go out escaped.
        if (c == '#')
            url += "%23";
        else if (c == ' ')
            url += "%20";
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return {};
        else
            url += c;
    }
    return url;
}

bool IsToken(const std::string& verb)
{
    return !verb.empty() && std::all_of(verb.begin(), verb.end(),
                                        [](char c)
                                        {
                                            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                                   (c >= '0' && c <= '9') || c == '-' || c == '_';
                                        });
}

} // namespace

bool CurlTransfer::Start(const HttpRequestOptions& options, const std::atomic<bool>* running, bool isStreamed,
                         const void* body, uint64_t bodyLength)
{
    Reset();
    open = true;
    timeouts = GetHttpTimeouts();
    keepRunning = running;
    secure = options.secure;
    streamed = isStreamed;
    uploadTotal = bodyLength;
    if (!isStreamed && bodyLength > 0 && !body)
        return Fail(HttpError::kInternalError);
    easy = CurlEasy::Create();
    pooledMulti = TakeMultiHandle(options.host + ":" + std::to_string(options.defaultPort));
    if (!easy || !pooledMulti.multi)
        return FailAt(HttpStep::kInternetOpen, HttpError::kInternalError);
    if (!Configure(options, body, bodyLength))
    {
        failedStep = HttpStep::kHttpOpenRequest;
        return false;
    }
    if (curl_multi_add_handle(Multi(), easy.get()) != CURLM_OK)
        return Fail(HttpError::kInternalError);
    attached = true;
    return true;
}

bool CurlTransfer::Configure(const HttpRequestOptions& options, const void* body, uint64_t bodyLength)
{
    const std::string url = BuildUrl(options);
    if (url.empty())
        return Fail(HttpError::kInvalidUrl);
    const std::string verb = options.verb.empty() ? std::string("GET") : options.verb;
    if (!IsToken(verb))
        return Fail(HttpError::kInternalError);
    const bool hasBody = streamed || bodyLength > 0 || verb == "POST" || verb == "PUT";

    // The block goes out line by line in its order; curl's own Accept, Expect (and, where it
    // would add them, Accept-Encoding and Content-Type) are suppressed unless the block has them.
    CURL* handle = easy.get();
    // Codings are offered only when curl will undo them.
    if (options.decodeContent)
    {
        const char* name = "INTERNET_OPTION_HTTP_DECODING";
        const CURLcode decoding = HttpOptionRefusedForTesting(name)
                                      ? CURLE_UNKNOWN_OPTION
                                      : curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
        decodingAccepted = decoding == CURLE_OK;
        if (!decodingAccepted)
            optionFailures.push_back({name, HttpErrorFromCurl(decoding, 0, 0)});
    }
    const std::vector<std::string> lines = SplitHeaderBlock(
        decodingAccepted && !options.decodingHeaderBlock.empty() ? options.decodingHeaderBlock
                                                                 : options.headerBlock);
    std::vector<std::string> listed = lines;
    if (!HasHeader(lines, "Accept"))
        listed.emplace_back("Accept:");
    if (!HasHeader(lines, "Expect"))
        listed.emplace_back("Expect:");
    if (decodingAccepted && !HasHeader(lines, "Accept-Encoding"))
        listed.emplace_back("Accept-Encoding:");
    if (hasBody && !HasHeader(lines, "Content-Type"))
        listed.emplace_back("Content-Type:");
    for (const std::string& line : listed)
        if (!headerList.Append(line))
            return Fail(HttpError::kInternalError);

    CURLcode code = CURLE_OK;
    auto set = [&](CURLoption option, auto value)
    {
        if (code == CURLE_OK)
            code = curl_easy_setopt(handle, option, value);
    };
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, options.secure ? "https" : "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_NOSIGNAL, 1L);
    // A connection whose answer was read to its end stays with the multi handle for the next
    // request to the same host (CurlSharedSetup); one that broke is dropped (CurlTransfer).
    // A kept connection the server closed just as the request went out is retried once by
    // curl on a fresh one, which only works for a body curl can send again: a streamed body
    // starts on a fresh connection. New connections resolve the name again.
    set(CURLOPT_FRESH_CONNECT, streamed ? 1L : 0L);
    set(CURLOPT_FORBID_REUSE, 0L);
    set(CURLOPT_DNS_CACHE_TIMEOUT, 0L);
    if (CURLSH* share = TlsSessionShare())
        set(CURLOPT_SHARE, share);
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connectMs));
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    const char* bundle = std::getenv("SSL_CERT_FILE");
    if (bundle && *bundle)
        set(CURLOPT_CAINFO, bundle);
    // Trust comes from the bundle alone (libcurl's own bundle holds the system's certificates):
    // curl keeps a trust store read from a bundle for the next connection, never one that
    // also looks into a certificate folder.
    set(CURLOPT_CAPATH, static_cast<const char*>(nullptr));
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(CURLOPT_HTTPHEADER, headerList.get());
    set(CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeader);
    set(CURLOPT_HEADERDATA, static_cast<void*>(this));
    set(CURLOPT_WRITEFUNCTION, &CurlTransfer::OnBody);
    set(CURLOPT_WRITEDATA, static_cast<void*>(this));
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &CurlTransfer::OnProgress);
    set(CURLOPT_XFERINFODATA, static_cast<void*>(this));
    set(CURLOPT_HTTP_CONTENT_DECODING, decodingAccepted ? 1L : 0L);

    if (streamed)
    {
        set(CURLOPT_POST, 1L);
        set(CURLOPT_READFUNCTION, &CurlTransfer::OnUpload);
        set(CURLOPT_READDATA, static_cast<void*>(this));
        set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodyLength));
    }
    else if (hasBody)
    {
        // Kept until the request closes: curl may send it again after a redirect.
        bodyCopy.assign(static_cast<const char*>(body ? body : ""), static_cast<size_t>(bodyLength));
        set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodyLength));
        set(CURLOPT_POSTFIELDS, bodyCopy.data());
    }
    else if (verb == "HEAD")
    {
        set(CURLOPT_NOBODY, 1L);
    }
    else
    {
        set(CURLOPT_HTTPGET, 1L);
    }
    const char* curlVerb = hasBody ? "POST" : (verb == "HEAD" ? "HEAD" : "GET");
    if (verb != curlVerb)
        set(CURLOPT_CUSTOMREQUEST, verb.c_str());
    if (code != CURLE_OK)
        return Fail(HttpErrorFromCurl(code, 0, 0));
    return true;
}

} // namespace Platform
