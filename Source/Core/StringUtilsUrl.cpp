// StringUtils: taking paths and URLs apart.
#include "Core/StringUtils.h"

#include <algorithm>

namespace nd
{

std::u16string StringUtils::FileNameFromPath(const std::u16string& path)
{
    std::u16string normalised = path;
    std::replace(normalised.begin(), normalised.end(), u'\\', u'/');
    size_t slash = normalised.rfind(u'/');
    if (slash == std::u16string::npos)
        return {};
    return normalised.substr(slash + 1);
}

void StringUtils::ServerFromUrl(const std::u16string& url, std::u16string& host, std::u16string& path,
                                int32_t& port, bool& secure)
{
    secure = false;
    port = 80;
    std::u16string rest = url;
    if (FindNoCase(rest, u"https://") != std::u16string::npos)
    {
        secure = true;
        port = 443;
        ReplaceAllNoCase(rest, u"https://", u"");
    }
    else
    {
        ReplaceAllNoCase(rest, u"http://", u"");
    }
    ReplaceAll(rest, u"//", u"/");

    std::vector<std::u16string> pieces;
    SplitString(rest, u"/", pieces, false);
    if (pieces.empty())
        return;
    host = pieces.front();
    path.clear();
    if (pieces.size() > 1)
    {
        pieces.erase(pieces.begin());
        path = JoinStrings(pieces, u"/");
    }
    ReplaceAll(path, host + u"/", u"");

    // The port is the digit run after the host's last colon. It is looked for in the host
    // only: a colon in the path or query ("?t=1:2") says nothing about the port.
    size_t colon = host.rfind(u':');
    if (colon == std::u16string::npos)
        return;
    std::u16string digits;
    for (size_t i = colon + 1; i < host.size() && host[i] >= u'0' && host[i] <= u'9'; ++i)
        digits.push_back(host[i]);
    ReplaceAll(host, u":" + digits, u"");
    if (digits.empty())
        return;
    // A number beyond the port range (however long the run) keeps the scheme's default port.
    uint32_t value = 0;
    for (char16_t digit : digits)
    {
        value = value * 10 + static_cast<uint32_t>(digit - u'0');
        if (value > 65535)
            return;
    }
    port = static_cast<int32_t>(value);
}

UriParts StringUtils::ParseUri(const std::u16string& url)
{
    UriParts parts;
    if (url.empty())
        return parts;
    const size_t npos = std::u16string::npos;

    size_t hostStart = 0;
    size_t colon = url.find(u':');
    if (colon != npos && url.size() - colon > 3 && url.compare(colon, 3, u"://") == 0)
    {
        parts.protocol = url.substr(0, colon);
        hostStart = colon + 3;
    }
    // Everything is looked for between the host start and the query start, so a "/" or ":"
    // inside the query never becomes a path or a port, and no range can run backwards.
    size_t queryStart = url.find(u'?', hostStart);
    size_t end = queryStart == npos ? url.size() : queryStart;
    size_t pathStart = url.find(u'/', hostStart);
    if (pathStart >= end)
        pathStart = npos;
    size_t hostEnd = pathStart == npos ? end : pathStart;
    size_t portColon = url.find(u':', hostStart);
    if (portColon >= hostEnd)
        portColon = npos;

    parts.host = url.substr(hostStart, (portColon == npos ? hostEnd : portColon) - hostStart);
    if (portColon != npos)
        parts.port = url.substr(portColon + 1, hostEnd - portColon - 1);
    if (pathStart != npos)
        parts.path = url.substr(pathStart, end - pathStart);
    if (queryStart != npos)
        parts.query = url.substr(queryStart);
    return parts;
}

} // namespace nd
