#pragma once
// What one request's fresh connection may take over from the ones before it without changing
// what goes over the wire or what is trusted:
//   - the TLS sessions, so that a new connection to a host it already spoke to resumes its
//     session instead of repeating the whole handshake (the certificate was verified then);
//   - the trust store curl reads and parses from the CA bundle, which curl keeps with a multi
//     handle: idle multi handles are kept for the next request, for as long as the bundle file
//     stays the same one (same path, inode, size and modification time).
// Connections themselves are never kept: every transfer asks for a fresh one and forbids its
// reuse. Both caches are process-wide, live until the process ends (requests may still run
// while static objects are destroyed) and may be used from any thread.

#include <string>

#include "Platform/Linux/CurlHandles.h"

typedef void CURLSH;

namespace Platform
{

// The share handle that every transfer joins for its TLS sessions; null when none could be made.
CURLSH* TlsSessionShare();

// A multi handle together with the identity of the CA bundle it was taken for.
struct PooledMulti
{
    CurlMulti multi;
    std::string bundleIdentity;
};

// An idle multi handle whose trust store came from the CA bundle as it is now (SSL_CERT_FILE,
// else libcurl's own bundle), or a new one; multi is null when libcurl could not make one.
PooledMulti TakeMultiHandle();

// Keeps a multi handle that has no transfer attached for a later TakeMultiHandle.
void ReturnMultiHandle(PooledMulti pooled);

} // namespace Platform
