#pragma once
// What one request may take over from the ones before it without changing what goes over the
// wire or what is trusted:
//   - the connection itself, when the answer before was read to its end: it stays with the
//     multi handle that carried it (curl keeps the connections of a multi handle's finished
//     transfers), so the multi handle that last served the same host is handed out first;
//   - the TLS sessions, so that a new connection to a host it already spoke to resumes its
//     session instead of repeating the whole handshake (the certificate was verified then);
//   - the trust store curl reads and parses from the CA bundle, which curl keeps with a multi
//     handle: idle multi handles are kept for the next request, for as long as the bundle file
//     stays the same one (same path, inode, size and modification time).
// A multi handle, and so each kept connection, serves one transfer at a time: connections are
// never shared between threads. The caches are process-wide, live until the process ends
// (requests may still run while static objects are destroyed) and may be used from any thread.

#include <string>

#include "Platform/Linux/CurlHandles.h"

typedef void CURLSH;

namespace Platform
{

// The share handle that every transfer joins for its TLS sessions; null when none could be made.
CURLSH* TlsSessionShare();

// A multi handle together with the identity of the CA bundle it was taken for and the server
// ("host:port") it last served, whose connection it may still hold.
struct PooledMulti
{
    CurlMulti multi;
    std::string bundleIdentity;
    std::string server;
};

// An idle multi handle whose trust store came from the CA bundle as it is now (SSL_CERT_FILE,
// else libcurl's own bundle), the one that last served server if there is one, or a new one;
// multi is null when libcurl could not make one.
PooledMulti TakeMultiHandle(const std::string& server);

// Keeps a multi handle that has no transfer attached for a later TakeMultiHandle.
void ReturnMultiHandle(PooledMulti pooled);

} // namespace Platform
