// ServerFromUrl on any URL text: a port within range and a host without a path in it; what the
// caller passed stays when the URL names no host.

#include "Core/StringUtils.h"
#include "FuzzInput.h"

using fuzzinput::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::u16string url = fuzzinput::Widened(data, size);
    std::u16string host = u"kept-host";
    std::u16string path = u"kept/path";
    int32_t port = -1;
    bool secure = true;
    nd::StringUtils::ServerFromUrl(url, host, path, port, secure);
    Require(port >= 0 && port <= 65535);
    Require(host.find(u'/') == std::u16string::npos);
    // A URL that is only slashes (after the scheme) names no host: the caller's values stay.
    if (url.find_first_not_of(u'/') == std::u16string::npos)
        Require(host == u"kept-host" && path == u"kept/path");
    return 0;
}
