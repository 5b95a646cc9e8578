#include "support/HttpsTestServer.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>
#include <thread>
#include <type_traits>

#include <zlib.h>

#include "support/TestConnection.h"
#include "support/TestPki.h"

namespace testsupport
{
namespace
{

std::string GzipEncode(const std::string& plain)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    std::string encoded(deflateBound(&stream, plain.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = reinterpret_cast<Bytef*>(encoded.data());
    stream.avail_out = static_cast<uInt>(encoded.size());
    const int result = deflate(&stream, Z_FINISH);
    encoded.resize(stream.total_out);
    deflateEnd(&stream);
    return result == Z_STREAM_END ? encoded : std::string();
}

// Writes the body as the script says; false ends the connection after this response.
bool WriteBody(const Response& script, const std::string& body, httplib::DataSink& sink,
               ConnectionContext& connection)
{
    const size_t limit = std::min(script.sendLimit, body.size());
    const size_t piece = script.chunkSize ? script.chunkSize : std::max<size_t>(limit, 1);
    size_t sent = 0;
    while (sent < limit)
    {
        const size_t count =
            std::min(sent < script.fastBytes ? script.fastBytes - sent : piece, limit - sent);
        if (!sink.write(body.data() + sent, count))
            return false;
        sent += count;
        if (script.chunkDelay.count() > 0 && sent < body.size() &&
            !connection.lifetime.SleepFor(script.chunkDelay))
            return false;
    }
    Response::Ending ending = script.ending;
    if (ending == Response::Ending::Stall)
    {
        if (!connection.lifetime.SleepFor(script.stallFor))
            return false;
        if (sent < body.size() && !sink.write(body.data() + sent, body.size() - sent))
            return false;
        sent = body.size();
        ending = Response::Ending::Complete;
    }
    // A reset right after the bytes could overtake them: the client gets a moment to read.
    if (ending == Response::Ending::Reset && !connection.lifetime.SleepFor(script.stallFor))
        return false;
    const uint64_t declared = script.contentLength.value_or(body.size());
    if (ending == Response::Ending::Complete && sent == declared)
        return true;
    // Anything short of the announced length must end the connection, or httplib would
    // ask for the missing bytes again.
    connection.closeMode =
        ending == Response::Ending::Reset ? Response::Ending::Reset : Response::Ending::Close;
    return false;
}

template <class Base> class Listener : public Base
{
public:
    template <class... Args>
    explicit Listener(ServerLifetime& lifetime, Args&&... args)
        : Base(std::forward<Args>(args)...), lifetime(lifetime)
    {
    }

private:
    bool process_and_close_socket(int socket) override
    {
        SSL_CTX* context = nullptr;
        if constexpr (std::is_same_v<Base, httplib::SSLServer>)
            context = this->ssl_context();
        ServeConnection(socket, context, lifetime,
                        [this](httplib::Stream& stream, bool& closed)
                        { return this->process_request(stream, false, closed, [](httplib::Request&) {}); });
        return true;
    }

    ServerLifetime& lifetime;
};

} // namespace

// [SECTION] Requests and scripted answers

std::string RecordedRequest::Header(const std::string& name) const
{
    for (const auto& [key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    return {};
}

bool RecordedRequest::HasHeader(const std::string& name) const
{
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& header)
                       { return strcasecmp(header.first.c_str(), name.c_str()) == 0; });
}

Response& Response::WithHeader(std::string name, std::string value)
{
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

Response Response::Ok(std::string body)
{
    Response response;
    response.body = std::move(body);
    return response;
}

Response Response::Status(int status, std::string body)
{
    Response response = Ok(std::move(body));
    response.status = status;
    return response;
}

Response Response::Gzip(std::string body)
{
    Response response = Ok(std::move(body));
    response.gzip = true;
    return response;
}

Response Response::Redirect(std::string location, int status)
{
    return Status(status).WithHeader("Location", std::move(location));
}

Response Response::CutShort(std::string body, size_t sent)
{
    Response response = Ok(std::move(body));
    response.sendLimit = sent;
    response.ending = Ending::Close;
    return response;
}

Response Response::WrongLength(std::string body, uint64_t declaredLength)
{
    Response response = Ok(std::move(body));
    response.contentLength = declaredLength;
    response.ending = Ending::Close;
    return response;
}

Response Response::ResetAfter(std::string body, size_t sent)
{
    Response response = Ok(std::move(body));
    response.sendLimit = sent;
    response.ending = Ending::Reset;
    response.stallFor = std::chrono::milliseconds(100);
    return response;
}

Response Response::Stall(std::string body, size_t sent, std::chrono::milliseconds wait)
{
    Response response = Ok(std::move(body));
    response.sendLimit = sent;
    response.ending = Ending::Stall;
    response.stallFor = wait;
    return response;
}

Response Response::Slow(std::string body, size_t chunkSize, std::chrono::milliseconds delay)
{
    Response response = Ok(std::move(body));
    response.chunkSize = chunkSize;
    response.chunkDelay = delay;
    return response;
}

Response Response::Trickle(std::string body, size_t fastBytes, std::chrono::milliseconds delay)
{
    Response response = Slow(std::move(body), 1, delay);
    response.fastBytes = fastBytes;
    return response;
}

// [SECTION] Server

struct RouteEntry
{
    std::vector<Response> sequence;
    size_t next = 0;
    Handler handler;
};

struct HttpsTestServer::State
{
    ServerOptions options;
    ServerLifetime lifetime;
    std::unique_ptr<httplib::Server> listener;
    std::thread thread;
    uint16_t port = 0;

    mutable std::mutex mutex;
    std::map<std::pair<std::string, std::string>, RouteEntry> routes;
    std::vector<RecordedRequest> requests;

    Response Answer(const RecordedRequest& request);
    void Dispatch(const httplib::Request& request, httplib::Response& response);
    void SetRoute(const std::string& method, const std::string& path, RouteEntry entry);
};

Response HttpsTestServer::State::Answer(const RecordedRequest& request)
{
    Handler handler;
    {
        std::lock_guard lock(mutex);
        auto found = routes.find({request.method == "HEAD" ? "GET" : request.method, request.path});
        if (found == routes.end())
            return Response::Status(404, "Not Found");
        RouteEntry& entry = found->second;
        if (!entry.handler)
        {
            const size_t index = std::min(entry.next, entry.sequence.size() - 1);
            ++entry.next;
            return entry.sequence[index];
        }
        handler = entry.handler;
    }
    return handler(request);
}

void HttpsTestServer::State::Dispatch(const httplib::Request& request, httplib::Response& response)
{
    ConnectionContext* connection = ConnectionContext::Current();
    RecordedRequest recorded;
    if (!connection || !ParseRequestHead(connection->stream.Received(), recorded))
        return; // served only through ServeConnection; httplib answers 404
    recorded.body = request.body;
    {
        std::lock_guard lock(mutex);
        requests.push_back(recorded);
    }

    auto script = std::make_shared<Response>(Answer(recorded));
    if (script->ending == Response::Ending::Drop)
    {
        // Nothing may go out, not even the status line httplib still writes: the socket is
        // shut before that.
        ::shutdown(connection->stream.socket(), SHUT_RDWR);
        connection->closeMode = Response::Ending::Close;
        return;
    }
    response.status = script->status;
    for (const auto& [name, value] : script->headers)
        response.set_header(name, value);
    auto body = std::make_shared<std::string>(script->gzip ? GzipEncode(script->body) : script->body);
    if (script->gzip)
        response.set_header("Content-Encoding", "gzip");
    const uint64_t declared = script->contentLength.value_or(body->size());
    if (declared == 0 && body->empty() && script->ending == Response::Ending::Complete)
    {
        response.set_content("", script->contentType);
        return;
    }
    response.set_content_provider(static_cast<size_t>(declared), script->contentType,
                                  [script, body, connection](size_t, size_t, httplib::DataSink& sink)
                                  { return WriteBody(*script, *body, sink, *connection); });
}

void HttpsTestServer::State::SetRoute(const std::string& method, const std::string& path, RouteEntry entry)
{
    std::lock_guard lock(mutex);
    routes[{method, path}] = std::move(entry);
}

HttpsTestServer::HttpsTestServer() : HttpsTestServer(ServerOptions{}) {}

HttpsTestServer::HttpsTestServer(ServerOptions options) : state(std::make_shared<State>())
{
    state->options = std::move(options);
}

HttpsTestServer::~HttpsTestServer()
{
    Stop();
}

void HttpsTestServer::Route(const std::string& method, const std::string& path, Response response)
{
    Route(method, path, std::vector<Response>{std::move(response)});
}

void HttpsTestServer::Route(const std::string& method, const std::string& path,
                            std::vector<Response> sequence)
{
    if (sequence.empty())
        sequence.push_back(Response::Status(404, "Not Found"));
    state->SetRoute(method, path, RouteEntry{std::move(sequence), 0, nullptr});
}

void HttpsTestServer::Route(const std::string& method, const std::string& path, Handler handler)
{
    state->SetRoute(method, path, RouteEntry{{}, 0, std::move(handler)});
}

bool HttpsTestServer::Start()
{
    if (state->listener)
        return false;
    static std::once_flag ignoreBrokenPipes;
    std::call_once(ignoreBrokenPipes, [] { ::signal(SIGPIPE, SIG_IGN); });

    if (state->options.secure)
    {
        const CertificateFiles& files = TestPki::Instance().Files(state->options.certificate);
        if (files.certificate.empty())
            return false;
        state->listener = std::make_unique<Listener<httplib::SSLServer>>(
            state->lifetime, files.certificate.c_str(), files.key.c_str());
    }
    else
    {
        state->listener = std::make_unique<Listener<httplib::Server>>(state->lifetime);
    }
    httplib::Server& listener = *state->listener;
    if (!listener.is_valid())
        return false;
    // Stalled connections each hold a worker; leave room for several at once.
    listener.new_task_queue = [] { return new httplib::ThreadPool(16); };
    State* shared = state.get();
    auto dispatch = [shared](const httplib::Request& request, httplib::Response& response)
    { shared->Dispatch(request, response); };
    listener.Get(".*", dispatch).Post(".*", dispatch).Put(".*", dispatch).Patch(".*", dispatch);
    listener.Delete(".*", dispatch).Options(".*", dispatch);

    const int port = listener.bind_to_any_port("127.0.0.1");
    if (port <= 0)
        return false;
    state->port = static_cast<uint16_t>(port);
    state->thread = std::thread([shared] { shared->listener->listen_after_bind(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!listener.is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return listener.is_running();
}

void HttpsTestServer::Stop()
{
    if (!state->listener)
        return;
    state->lifetime.BeginStop();
    state->listener->stop();
    if (state->thread.joinable())
        state->thread.join();
}

uint16_t HttpsTestServer::Port() const
{
    return state->port;
}

std::string HttpsTestServer::HostPort() const
{
    return state->options.hostName + ":" + std::to_string(state->port);
}

std::string HttpsTestServer::Url(const std::string& target) const
{
    return (state->options.secure ? "https://" : "http://") + HostPort() + target;
}

std::vector<RecordedRequest> HttpsTestServer::Requests() const
{
    std::lock_guard lock(state->mutex);
    return state->requests;
}

size_t HttpsTestServer::Connections() const
{
    return state->lifetime.Accepted();
}

void HttpsTestServer::ClearRequests()
{
    std::lock_guard lock(state->mutex);
    state->requests.clear();
}

std::string HttpsTestServer::CaFile()
{
    return TestPki::Instance().CaFile();
}

void HttpsTestServer::UseTestCa()
{
    ::setenv("SSL_CERT_FILE", CaFile().c_str(), 1);
    for (const char* name :
         {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"})
        ::unsetenv(name);
}

} // namespace testsupport
