#include "support/ChaosProxy.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport
{

const char* HarmName(Harm harm)
{
    switch (harm)
    {
    case Harm::None:
        return "none";
    case Harm::Refuse:
        return "refuse";
    case Harm::ResetAfter:
        return "reset-after";
    case Harm::CutAfter:
        return "cut-after";
    case Harm::Stall:
        return "stall";
    case Harm::FlipByte:
        return "flip-byte";
    case Harm::LateFirstByte:
        return "late-first-byte";
    case Harm::SlowDrip:
        return "slow-drip";
    case Harm::IdleClose:
        return "idle-close";
    }
    return "?";
}

struct ChaosProxy::State
{
    uint16_t targetPort = 0;
    ChaosOptions options;
    int listener = -1;
    uint16_t port = 0;
    std::atomic<bool> stopping{false};
    std::thread acceptor;
    mutable std::mutex lock;
    std::condition_variable wake; // stopping
    std::vector<std::thread> connections;
    std::map<Harm, int> draws;
    std::mt19937_64 random;

    // False when the proxy stops meanwhile.
    bool Sleep(std::chrono::milliseconds duration)
    {
        std::unique_lock<std::mutex> hold(lock);
        return !wake.wait_for(hold, duration, [this] { return stopping.load(); });
    }
};

namespace
{

struct Draw
{
    Harm harm = Harm::None;
    size_t offset = 0;
};

bool SendAll(int socket, const char* data, size_t length)
{
    while (length > 0)
    {
        const ssize_t sent = ::send(socket, data, length, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

void CloseWithReset(int socket)
{
    const linger abort{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(socket);
}

int ConnectTo(uint16_t port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (socket >= 0 && ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return socket;
    if (socket >= 0)
        ::close(socket);
    return -1;
}

// Forwards both ways until either side closes, harming the way towards the client.
void Serve(ChaosProxy::State& state, int client, Draw draw)
{
    if (draw.harm == Harm::Refuse)
    {
        CloseWithReset(client);
        return;
    }
    const int server = ConnectTo(state.targetPort);
    if (server < 0)
    {
        ::close(client);
        return;
    }
    const ChaosOptions& options = state.options;
    uint64_t towardsClient = 0;
    bool stalled = false;
    bool resetAtEnd = false;
    auto lastActivity = std::chrono::steady_clock::now();
    std::vector<char> buffer(16 * 1024);
    while (!state.stopping)
    {
        pollfd sides[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(sides, 2, 50) < 0)
            break;
        if (sides[0].revents & (POLLIN | POLLHUP | POLLERR))
        {
            const ssize_t n = ::recv(client, buffer.data(), buffer.size(), 0);
            if (n <= 0 || !SendAll(server, buffer.data(), static_cast<size_t>(n)))
                break;
            lastActivity = std::chrono::steady_clock::now();
        }
        if (sides[1].revents & (POLLIN | POLLHUP | POLLERR))
        {
            const ssize_t n = ::recv(server, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                break;
            size_t length = static_cast<size_t>(n);
            if (draw.harm == Harm::LateFirstByte && towardsClient == 0 && !state.Sleep(options.lateFirstByte))
                break;
            const uint64_t end = towardsClient + length;
            if ((draw.harm == Harm::ResetAfter || draw.harm == Harm::CutAfter) && end >= draw.offset)
            {
                SendAll(client, buffer.data(), static_cast<size_t>(draw.offset - towardsClient));
                resetAtEnd = draw.harm == Harm::ResetAfter;
                if (resetAtEnd)
                    state.Sleep(std::chrono::milliseconds(50)); // the bytes go out before the reset
                break;
            }
            if (draw.harm == Harm::FlipByte && draw.offset >= towardsClient && draw.offset < end)
                buffer[static_cast<size_t>(draw.offset - towardsClient)] ^= 0x20;
            size_t sent = 0;
            if (draw.harm == Harm::Stall && !stalled && end >= draw.offset)
            {
                sent = static_cast<size_t>(draw.offset - towardsClient);
                if (!SendAll(client, buffer.data(), sent) || !state.Sleep(options.stallFor))
                    break;
                stalled = true;
            }
            const size_t piece = draw.harm == Harm::SlowDrip ? options.dripBytes : length;
            bool ok = true;
            while (ok && sent < length)
            {
                const size_t count = std::min(piece, length - sent);
                ok = SendAll(client, buffer.data() + sent, count);
                sent += count;
                if (ok && draw.harm == Harm::SlowDrip && sent < length)
                    ok = state.Sleep(options.dripDelay);
            }
            if (!ok)
                break;
            towardsClient = end;
            lastActivity = std::chrono::steady_clock::now();
        }
        if (draw.harm == Harm::IdleClose && towardsClient > 0 &&
            std::chrono::steady_clock::now() - lastActivity >= options.idleClose)
            break;
    }
    if (resetAtEnd)
        CloseWithReset(client);
    else
        ::close(client);
    ::close(server);
}

Draw DrawFor(ChaosProxy::State& state)
{
    static constexpr Harm kHarms[] = {Harm::Refuse,   Harm::ResetAfter,    Harm::CutAfter, Harm::Stall,
                                      Harm::FlipByte, Harm::LateFirstByte, Harm::SlowDrip, Harm::IdleClose};
    std::uniform_real_distribution<double> share(0.0, 1.0);
    std::uniform_int_distribution<size_t> which(0, std::size(kHarms) - 1);
    std::uniform_real_distribution<double> octaves(
        std::log2(16.0), std::log2(static_cast<double>(state.options.largestOffset)));
    Draw draw;
    const bool harmed = share(state.random) < state.options.harmedShare;
    const Harm harm = kHarms[which(state.random)];
    draw.offset = static_cast<size_t>(std::exp2(octaves(state.random)));
    if (harmed)
        draw.harm = harm;
    return draw;
}

} // namespace

ChaosProxy::ChaosProxy(uint16_t targetPort, ChaosOptions options) : state(std::make_shared<State>())
{
    state->targetPort = targetPort;
    state->options = options;
    state->random.seed(options.seed);
}

ChaosProxy::~ChaosProxy()
{
    Stop();
}

bool ChaosProxy::Start()
{
    state->listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (state->listener < 0)
        return false;
    const int yes = 1;
    ::setsockopt(state->listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(state->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(state->listener, 64) != 0 ||
        ::getsockname(state->listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return false;
    state->port = ntohs(address.sin_port);
    State* shared = state.get();
    state->acceptor = std::thread(
        [shared]
        {
            while (!shared->stopping)
            {
                pollfd waiting{shared->listener, POLLIN, 0};
                if (::poll(&waiting, 1, 50) <= 0)
                    continue;
                const int client = ::accept(shared->listener, nullptr, nullptr);
                if (client < 0)
                    continue;
                std::lock_guard<std::mutex> hold(shared->lock);
                const Draw draw = DrawFor(*shared);
                ++shared->draws[draw.harm];
                shared->connections.emplace_back([shared, client, draw] { Serve(*shared, client, draw); });
            }
        });
    return true;
}

void ChaosProxy::Stop()
{
    {
        std::lock_guard<std::mutex> hold(state->lock);
        if (state->stopping.exchange(true))
            return;
        state->wake.notify_all();
    }
    if (state->acceptor.joinable())
        state->acceptor.join();
    for (std::thread& connection : state->connections)
        connection.join();
    if (state->listener >= 0)
        ::close(state->listener);
}

uint16_t ChaosProxy::Port() const
{
    return state->port;
}

std::string ChaosProxy::HostPort() const
{
    return "127.0.0.1:" + std::to_string(state->port);
}

std::map<Harm, int> ChaosProxy::Draws() const
{
    std::lock_guard<std::mutex> hold(state->lock);
    return state->draws;
}

} // namespace testsupport
