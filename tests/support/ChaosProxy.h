#pragma once
// A TCP proxy on 127.0.0.1 that harms connections by a seeded draw, in front of a test server.
// Each accepted connection draws, in accept order, whether it is harmed (harmedShare) and how:
//
//   Refuse         reset at once, before a byte went either way
//   ResetAfter     TCP reset after K bytes towards the client
//   CutAfter       orderly close after K bytes towards the client
//   Stall          K bytes, then nothing for stallFor, then the rest
//   FlipByte       the byte at offset K towards the client changed
//   LateFirstByte  the first byte towards the client held back lateFirstByte
//   SlowDrip       everything towards the client in dripBytes pieces, dripDelay apart
//   IdleClose      a connection idle for idleClose after an answer is closed (a kept-alive
//                  connection the client means to reuse; with a fresh connection per request the
//                  client has closed it already)
//
// The same seed gives the same draws for the same sequence of connections.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace testsupport
{

enum class Harm
{
    None,
    Refuse,
    ResetAfter,
    CutAfter,
    Stall,
    FlipByte,
    LateFirstByte,
    SlowDrip,
    IdleClose,
};

const char* HarmName(Harm harm);

struct ChaosOptions
{
    uint64_t seed = 1;
    double harmedShare = 0.5;
    // K is drawn log-uniformly from 16 bytes to this, so that the handshake, the headers and
    // bodies deep into their length are all hit.
    size_t largestOffset = 128 * 1024;
    std::chrono::milliseconds stallFor{2500};
    std::chrono::milliseconds lateFirstByte{1000};
    size_t dripBytes = 1024;
    std::chrono::milliseconds dripDelay{10};
    std::chrono::milliseconds idleClose{300};
};

class ChaosProxy
{
public:
    ChaosProxy(uint16_t targetPort, ChaosOptions options);
    ~ChaosProxy();
    ChaosProxy(const ChaosProxy&) = delete;
    ChaosProxy& operator=(const ChaosProxy&) = delete;

    bool Start();
    // Ends every connection and joins every thread. Idempotent.
    void Stop();
    uint16_t Port() const;
    std::string HostPort() const; // "127.0.0.1:<port>"
    // How many connections drew each harm so far.
    std::map<Harm, int> Draws() const;

    struct State; // what the acceptor and the connections' threads share

private:
    std::shared_ptr<State> state;
};

} // namespace testsupport
