// The time-outs new requests take: the test seam of the transfer layer, the same on every platform.
#include "Platform/HttpRequest.h"

#include <mutex>

namespace Platform
{

namespace
{

std::mutex timeoutsMutex;
HttpTimeouts timeoutsForNewRequests;

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

} // namespace Platform
