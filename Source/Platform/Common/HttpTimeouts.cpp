// The time-outs new requests take, and the options they are refused: the test seams of the
// transfer layer, the same on every platform.
#include "Platform/HttpRequest.h"

#include <algorithm>
#include <mutex>

namespace Platform
{

namespace
{

std::mutex timeoutsMutex;
HttpTimeouts timeoutsForNewRequests;
std::vector<std::string> refusedOptions;

} // namespace

void SetHttpTimeoutsForTesting(const HttpTimeouts& timeouts)
{
    std::lock_guard lock(timeoutsMutex);
    timeoutsForNewRequests = timeouts;
}

HttpTimeouts GetHttpTimeouts()
{
    std::lock_guard lock(timeoutsMutex);
    return timeoutsForNewRequests;
}

void RefuseHttpOptionsForTesting(const std::vector<std::string>& options)
{
    std::lock_guard lock(timeoutsMutex);
    refusedOptions = options;
}

bool HttpOptionRefusedForTesting(const std::string& option)
{
    std::lock_guard lock(timeoutsMutex);
    return std::find(refusedOptions.begin(), refusedOptions.end(), option) != refusedOptions.end();
}

} // namespace Platform
