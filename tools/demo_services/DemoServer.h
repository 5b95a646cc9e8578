#pragma once
// One HTTPS server on 127.0.0.1 that plays all the remote services; the Host header of each
// request tells which one is asked. Every request leaves one line in the request log.

#include "demo_services/RequestLog.h"
#include "demo_services/ServiceEndpoints.h"

#include <httplib.h>

#include <memory>
#include <string>
#include <thread>

namespace demo
{

class DemoServer
{
  public:
    DemoServer(ServiceEndpoints& endpoints, RequestLog& log);
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // Binds 127.0.0.1:port (0 = any free port) and serves on a thread of its own.
    // Returns the bound port, 0 on failure (error tells why).
    uint16_t Start(const std::string& certFile, const std::string& keyFile, uint16_t port,
                   std::string& error);

    // Stops accepting and waits up to graceMs for open answers to end. False when some did
    // not (a client that stopped reading); the caller should then end the process.
    bool Stop(int graceMs);

    // Which service a Host header names: "service", "storage", "content", "support" or "".
    static std::string ServiceOf(const std::string& hostHeader);

  private:
    void Handle(const httplib::Request& req, httplib::Response& res);

    ServiceEndpoints& endpoints;
    RequestLog& log;
    std::unique_ptr<httplib::SSLServer> server;
    std::thread listener;
    std::shared_ptr<std::atomic<bool>> listenerDone = std::make_shared<std::atomic<bool>>(false);
};

} // namespace demo
