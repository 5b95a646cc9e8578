#pragma once
// Where a request goes, in the form WinINet takes it, and where a redirect sends it next.
// Windows-only helper of this folder.

#include <windows.h>
#include <wininet.h>

#include <optional>
#include <string>

#include "Platform/HttpRequest.h"

namespace Platform
{

struct WinINetTarget
{
    std::wstring host; // a name or an address, IPv6 without brackets
    INTERNET_PORT port = 443;
    bool secure = true;
    std::wstring object; // the request target: path and query, with a leading "/"
};

// The options' host ("name", "name:port", "[v6]:port") and target. The characters no request
// target can carry raw ("#", space) go out escaped, as on Linux; control characters, and hosts
// with characters that do not belong in a host, make it fail (HttpError::kInvalidUrl).
std::optional<WinINetTarget> TargetFromOptions(const HttpRequestOptions& options, int& error);

// The target a Location header names, relative to the current one; nothing when it names no
// http or https place.
std::optional<WinINetTarget> TargetFromLocation(const WinINetTarget& current, const std::wstring& location);

} // namespace Platform
