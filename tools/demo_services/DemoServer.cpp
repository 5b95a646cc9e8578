#include "demo_services/DemoServer.h"

#include <algorithm>
#include <chrono>

namespace demo
{
namespace
{

// A paused download keeps its connection open without reading; allow it as long as the
// program's own receive time-out before giving up on the write.
constexpr time_t kWriteTimeoutSeconds = 120;

// httplib calls the logger on the thread that ran the handler, right after the answer went out.
thread_local bool handledOnThisThread = false;
constexpr size_t kMaxRequestBody = 64u << 20;

std::string HostName(const std::string& hostHeader)
{
    std::string name = hostHeader.substr(
        0, hostHeader.rfind(':') == std::string::npos ? hostHeader.size() : hostHeader.rfind(':'));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return name;
}

} // namespace

DemoServer::DemoServer(ServiceEndpoints& endpoints, RequestLog& log) : endpoints(endpoints), log(log) {}

DemoServer::~DemoServer()
{
    Stop(3000);
}

std::string DemoServer::ServiceOf(const std::string& hostHeader)
{
    const std::string name = HostName(hostHeader);
    if (name == kServiceName)
        return "service";
    if (name == kSignedStorageName || name == kQueryStorageName)
        return "storage";
    if (name == kContentName)
        return "content";
    if (name == kSupportName)
        return "support";
    return {};
}

uint16_t DemoServer::Start(const std::string& certFile, const std::string& keyFile, uint16_t port,
                           std::string& error)
{
    server = std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str());
    if (!server->is_valid())
    {
        error = "cannot load the server certificate " + certFile;
        return 0;
    }
    server->set_write_timeout(kWriteTimeoutSeconds, 0);
    server->set_keep_alive_timeout(1);
    // As real storage does: without it, the first answer on every new connection waits about
    // 40 ms for the client's delayed acknowledgement of the TLS session tickets.
    server->set_tcp_nodelay(true);
    // Log uploads are a few kilobytes; nothing the program sends comes near this.
    server->set_payload_max_length(kMaxRequestBody);
    auto handler = [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); };
    server->Get(".*", handler);
    server->Post(".*", handler);
    server->Put(".*", handler);
    server->Delete(".*", handler);
    // Requests httplib refuses before any handler (bad request line, ...) still get a line.
    server->set_logger(
        [this](const httplib::Request& req, const httplib::Response& res)
        {
            if (handledOnThisThread)
            {
                handledOnThisThread = false;
                return;
            }
            RequestRecord record{"unknown",    req.get_header_value("Host"),
                                 req.method,   req.target,
                                 res.status,   res.body.size(),
                                 "not handled"};
            log.Write(record);
        });

    int bound = port;
    if (port == 0)
    {
        bound = server->bind_to_any_port("127.0.0.1");
    }
    else if (!server->bind_to_port("127.0.0.1", port))
    {
        bound = -1;
    }
    if (bound <= 0)
    {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port);
        return 0;
    }
    endpoints.SetPort(static_cast<uint16_t>(bound));
    listener = std::thread(
        [srv = server.get(), done = listenerDone]
        {
            srv->listen_after_bind();
            *done = true;
        });
    // Bound before the thread started: connections queue until the accept loop runs.
    return static_cast<uint16_t>(bound);
}

bool DemoServer::Stop(int graceMs)
{
    if (!server)
    {
        return true;
    }
    endpoints.SetStopping();
    server->stop();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
    while (!*listenerDone && std::chrono::steady_clock::now() < deadline)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!*listenerDone)
    {
        // A worker is stuck writing to a client that does not read. Leave the server to the
        // process exit rather than destroy it under that worker.
        listener.detach();
        (void)server.release();
        return false;
    }
    listener.join();
    server.reset();
    return true;
}

void DemoServer::Handle(const httplib::Request& req, httplib::Response& res)
{
    const std::string host = req.get_header_value("Host");
    const std::string service = ServiceOf(host);
    std::string note;
    if (service == "service")
        endpoints.DownloadService(req, res, note);
    else if (service == "storage")
        endpoints.Storage(req, res, note);
    else if (service == "content")
        endpoints.Content(req, res, note);
    else if (service == "support")
        endpoints.Support(req, res, note);
    else
    {
        res.status = 404;
        note = "no service under this host name";
    }
    if (res.status == 404 && res.body.empty() && !res.content_provider_)
    {
        res.set_content("not found\n", "text/plain");
    }
    handledOnThisThread = true;
    const uint64_t bytes = res.content_provider_ ? res.content_length_ : res.body.size();
    log.Write({service.empty() ? "unknown" : service, host, req.method, req.target, res.status, bytes, note});
}

} // namespace demo
