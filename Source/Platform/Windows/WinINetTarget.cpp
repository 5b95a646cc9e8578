#include "Platform/Windows/WinINetTarget.h"

#include <algorithm>
#include <cctype>

#include "Platform/Windows/WideText.h"

namespace Platform
{

namespace
{

bool IsDigits(const std::string& text)
{
    return !text.empty() && text.size() <= 5 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "name", "name:port", "[v6]", "[v6]:port" or a bare IPv6 address.
bool SplitHost(const std::string& text, uint16_t defaultPort, std::string& name, INTERNET_PORT& port)
{
    if (text.empty() || text.find_first_of("/?#@ \t\r\n\\") != std::string::npos)
        return false;
    std::string portText;
    if (text.front() == '[')
    {
        const size_t close = text.find(']');
        if (close == std::string::npos)
            return false;
        name = text.substr(1, close - 1);
        if (close + 1 < text.size())
        {
            if (text[close + 1] != ':')
                return false;
            portText = text.substr(close + 2);
        }
    }
    else if (std::count(text.begin(), text.end(), ':') == 1)
    {
        const size_t colon = text.find(':');
        name = text.substr(0, colon);
        portText = text.substr(colon + 1);
    }
    else
    {
        name = text;
    }
    port = defaultPort;
    if (!portText.empty() || text.back() == ':')
    {
        if (!IsDigits(portText) || std::stoul(portText) > 65535)
            return false;
        port = static_cast<INTERNET_PORT>(std::stoul(portText));
    }
    return !name.empty();
}

// The target as it goes on the request line; false for characters no target may carry.
bool EscapeObject(const std::string& target, std::string& object)
{
    object.clear();
    if (target.empty() || target.front() != '/')
        object += '/';
    for (char c : target)
    {
        if (c == '#')
            object += "%23";
        else if (c == ' ')
            object += "%20";
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
        else
            object += c;
    }
    return true;
}

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    for (size_t i = 0; prefix[i] != '\0'; ++i)
    {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

} // namespace

std::optional<WinINetTarget> TargetFromOptions(const HttpRequestOptions& options, int& error)
{
    error = HttpError::kInvalidUrl;
    WinINetTarget target;
    std::string name;
    std::string object;
    if (!SplitHost(options.host, options.defaultPort, name, target.port) ||
        !EscapeObject(options.target, object))
        return std::nullopt;
    target.host = WideFromUtf8(name);
    target.object = WideFromUtf8(object);
    target.secure = options.secure;
    error = 0;
    return target;
}

std::optional<WinINetTarget> TargetFromLocation(const WinINetTarget& current, const std::wstring& location)
{
    const std::string text = Utf8FromWide(location);
    if (text.empty())
        return std::nullopt;
    WinINetTarget next = current;
    std::string rest;
    if (StartsWithNoCase(text, "https://") || StartsWithNoCase(text, "http://") || text.rfind("//", 0) == 0)
    {
        // An absolute place, or one relative to the scheme only.
        const size_t schemeEnd = text.find("//") + 2;
        if (text.rfind("//", 0) != 0)
            next.secure = StartsWithNoCase(text, "https://");
        const size_t pathStart = text.find_first_of("/?", schemeEnd);
        const std::string authority = text.substr(
            schemeEnd, pathStart == std::string::npos ? std::string::npos : pathStart - schemeEnd);
        std::string name;
        if (!SplitHost(authority, next.secure ? 443 : 80, name, next.port))
            return std::nullopt;
        next.host = WideFromUtf8(name);
        rest = pathStart == std::string::npos ? "/" : text.substr(pathStart);
    }
    else if (text.find("://") != std::string::npos)
    {
        return std::nullopt;
    }
    else if (text.front() == '/')
    {
        rest = text;
    }
    else
    {
        // Relative to the folder of the current path (the query is not part of it).
        std::string base = Utf8FromWide(current.object);
        base = base.substr(0, base.find('?'));
        rest = base.substr(0, base.rfind('/') + 1) + text;
    }
    std::string object;
    if (!EscapeObject(rest.substr(0, rest.find('#')), object))
        return std::nullopt;
    next.object = WideFromUtf8(object);
    return next;
}

} // namespace Platform
