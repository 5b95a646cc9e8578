#include "support/TestConnection.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport
{
namespace
{

thread_local ConnectionContext* currentConnection = nullptr;

constexpr auto kSlice = std::chrono::milliseconds(50);
constexpr auto kRequestReadLimit = std::chrono::seconds(10);
constexpr auto kKeepAliveLimit = std::chrono::seconds(5);

bool PollFor(int socket, short events, std::chrono::milliseconds wait)
{
    pollfd entry{socket, events, 0};
    return ::poll(&entry, 1, static_cast<int>(wait.count())) > 0;
}

void AddressOf(int socket, bool peer, std::string& ip, int& port)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    int result = peer ? ::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length)
                      : ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    if (result != 0)
        return;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET)
    {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
    }
    else if (address.ss_family == AF_INET6)
    {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
    }
    ip = text;
}

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

bool ServerLifetime::Stopping() const
{
    std::lock_guard lock(mutex);
    return stopping;
}

bool ServerLifetime::SleepFor(std::chrono::milliseconds duration)
{
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, duration, [this] { return stopping; });
}

void ServerLifetime::BeginStop()
{
    std::lock_guard lock(mutex);
    stopping = true;
    for (int socket : sockets)
        ::shutdown(socket, SHUT_RDWR);
    wake.notify_all();
}

bool ServerLifetime::Register(int socket)
{
    std::lock_guard lock(mutex);
    if (stopping)
        return false;
    sockets.insert(socket);
    ++accepted;
    return true;
}

size_t ServerLifetime::Accepted() const
{
    std::lock_guard lock(mutex);
    return accepted;
}

void ServerLifetime::Unregister(int socket)
{
    std::lock_guard lock(mutex);
    sockets.erase(socket);
}

ConnectionStream::ConnectionStream(int socket, SSL* ssl, const ServerLifetime& lifetime)
    : sock(socket), ssl(ssl), lifetime(lifetime)
{
}

bool ConnectionStream::WaitReadable(std::chrono::milliseconds limit) const
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true)
    {
        if (ssl && SSL_pending(ssl) > 0)
            return true;
        if (PollFor(sock, POLLIN, kSlice))
            return true;
        if (lifetime.Stopping() || std::chrono::steady_clock::now() >= deadline)
            return false;
    }
}

bool ConnectionStream::is_readable() const
{
    return (ssl && SSL_pending(ssl) > 0) || PollFor(sock, POLLIN, std::chrono::milliseconds(0));
}

bool ConnectionStream::is_writable() const
{
    // No limit: a paused client may hold the server back for as long as a test likes.
    while (!lifetime.Stopping())
    {
        if (PollFor(sock, POLLOUT, kSlice))
            return true;
    }
    return false;
}

ssize_t ConnectionStream::read(char* ptr, size_t size)
{
    if (!WaitReadable(std::chrono::duration_cast<std::chrono::milliseconds>(kRequestReadLimit)))
        return -1;
    const int wanted = static_cast<int>(std::min<size_t>(size, 1 << 20));
    ssize_t count = ssl ? SSL_read(ssl, ptr, wanted) : ::recv(sock, ptr, static_cast<size_t>(wanted), 0);
    if (count <= 0)
        return -1;
    received.append(ptr, static_cast<size_t>(count));
    return count;
}

ssize_t ConnectionStream::write(const char* ptr, size_t size)
{
    size_t done = 0;
    while (done < size)
    {
        const int piece = static_cast<int>(std::min<size_t>(size - done, 1 << 20));
        ssize_t count = ssl ? SSL_write(ssl, ptr + done, piece)
                            : ::send(sock, ptr + done, static_cast<size_t>(piece), MSG_NOSIGNAL);
        if (count <= 0)
            return -1;
        done += static_cast<size_t>(count);
    }
    return static_cast<ssize_t>(size);
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const
{
    AddressOf(sock, true, ip, port);
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const
{
    AddressOf(sock, false, ip, port);
}

ConnectionContext* ConnectionContext::Current()
{
    return currentConnection;
}

bool ParseRequestHead(const std::string& raw, RecordedRequest& request)
{
    const size_t headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return false;
    size_t lineEnd = raw.find("\r\n");
    const std::string requestLine = raw.substr(0, lineEnd);
    const size_t firstSpace = requestLine.find(' ');
    const size_t lastSpace = requestLine.rfind(' ');
    if (firstSpace == std::string::npos || lastSpace <= firstSpace)
        return false;
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    request.path = request.target.substr(0, request.target.find('?'));
    request.headers.clear();
    while (lineEnd < headEnd)
    {
        const size_t start = lineEnd + 2;
        lineEnd = raw.find("\r\n", start);
        const std::string line = raw.substr(start, lineEnd - start);
        const size_t colon = line.find(':');
        if (colon != std::string::npos)
            request.headers.emplace_back(line.substr(0, colon), Trim(line.substr(colon + 1)));
    }
    return true;
}

void ServeConnection(int socket, SSL_CTX* sslContext, ServerLifetime& lifetime,
                     const std::function<bool(httplib::Stream&, bool& closed)>& process)
{
    if (!lifetime.Register(socket))
    {
        ::close(socket);
        return;
    }
    // Bounds a handshake that never comes; stopping shuts the socket down sooner.
    timeval handshakeLimit{10, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &handshakeLimit, sizeof handshakeLimit);

    SSL* ssl = nullptr;
    bool ready = true;
    if (sslContext)
    {
        ssl = SSL_new(sslContext);
        ready = ssl && SSL_set_fd(ssl, socket) == 1 && SSL_accept(ssl) == 1;
    }
    ConnectionStream stream(socket, ssl, lifetime);
    ConnectionContext context{stream, lifetime};
    if (ready)
    {
        currentConnection = &context;
        while (!lifetime.Stopping() && stream.WaitReadable(kKeepAliveLimit))
        {
            stream.Received().clear();
            bool closed = false;
            const bool ok = process(stream, closed);
            if (!ok || closed || context.closeMode != Response::Ending::Complete)
                break;
        }
        currentConnection = nullptr;
    }

    if (context.closeMode == Response::Ending::Reset)
    {
        linger abortive{1, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    }
    else if (ssl && ready)
    {
        SSL_shutdown(ssl);
    }
    lifetime.Unregister(socket);
    if (ssl)
        SSL_free(ssl);
    ::close(socket);
}

} // namespace testsupport
