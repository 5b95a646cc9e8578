#pragma once
// Connection handling of the test server. The listener takes over httplib's per-socket
// loop so that the request head is seen byte for byte (httplib keeps headers sorted, the
// tests need their order) and so that a response can end in a close or a reset.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

#include <httplib.h>
#include <openssl/ssl.h>

#include "support/HttpsTestServer.h"

namespace testsupport
{

// Stop state shared by the server and its connection threads.
class ServerLifetime
{
public:
    bool Stopping() const;
    // Sleeps for duration; false when the server began stopping meanwhile.
    bool SleepFor(std::chrono::milliseconds duration);
    // Wakes sleepers and shuts down every open connection so blocked reads and writes return.
    void BeginStop();
    // A connection socket is registered while in use; false when the server is stopping.
    bool Register(int socket);
    void Unregister(int socket);
    // Sockets registered so far.
    size_t Accepted() const;

private:
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::set<int> sockets;
    size_t accepted = 0;
};

// A blocking socket (with TLS when ssl is set) that waits in short slices so a stopping
// server is noticed, and keeps the bytes it read for the request-head parser.
class ConnectionStream : public httplib::Stream
{
public:
    ConnectionStream(int socket, SSL* ssl, const ServerLifetime& lifetime);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    int socket() const override { return sock; }

    bool WaitReadable(std::chrono::milliseconds limit) const;
    std::string& Received() { return received; }

private:
    int sock;
    SSL* ssl;
    const ServerLifetime& lifetime;
    std::string received;
};

// The connection a server thread is serving; handlers reach it through Current().
struct ConnectionContext
{
    ConnectionStream& stream;
    ServerLifetime& lifetime;
    Response::Ending closeMode = Response::Ending::Complete;

    static ConnectionContext* Current();
};

// Parses request line and headers from the raw bytes of a request. False when incomplete.
bool ParseRequestHead(const std::string& raw, RecordedRequest& request);

// Serves one accepted socket: TLS handshake when ssl_ctx is set, then requests through
// process until the client leaves, the server stops or a response ends the connection.
// Closes the socket.
void ServeConnection(int socket, SSL_CTX* sslContext, ServerLifetime& lifetime,
                     const std::function<bool(httplib::Stream&, bool& closed)>& process);

} // namespace testsupport
