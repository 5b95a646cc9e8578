#pragma once
// An HTTPS (or plain HTTP) server on 127.0.0.1 for the network tests. It answers from a
// script given per method and path, can misbehave on purpose (bodies cut short, resets,
// stalls, slow bodies) and records every request exactly as received.
//
//   HttpsTestServer server;
//   server.Route("GET", "/a", Response::Ok("body"));
//   ASSERT_TRUE(server.Start());
//   HttpsTestServer::UseTestCa();  // clients trust the test CA, proxies are left out
//   ... request https://127.0.0.1:<port>/a ...
//   server.Requests();
//
// The certificate authority is made once per test process in a temporary folder.
// Stop (also run by the destructor) returns promptly even with stalled or paused clients.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport
{

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct RecordedRequest
{
    std::string method;
    std::string target; // as written in the request line, query included
    std::string path;   // target without the query
    HeaderList headers; // in the order they arrived, names as sent
    std::string body;

    // First value of a header (name compared without case), empty when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

struct Response
{
    // What happens after the body bytes up to sendLimit went out.
    enum class Ending
    {
        Complete, // the whole body, connection kept for the next request
        Close,    // orderly close (TLS close_notify, FIN) without the rest
        Reset,    // TCP reset without the rest, stallFor after the sent bytes
        Stall,    // wait stallFor (or until the server stops), then send the rest
        Drop,     // no answer at all: the connection closes as the request arrives, as when a
                  // server closes a kept connection while idle just as the client reuses it
    };

    int status = 200;
    HeaderList headers; // added to the server's own (Content-Length, Content-Type, ...)
    std::string body;
    std::string contentType = "application/octet-stream";
    bool gzip = false;                     // body goes out gzip-encoded with Content-Encoding: gzip
    std::optional<uint64_t> contentLength; // declared length when it must differ from the body
    size_t sendLimit = SIZE_MAX;           // bytes of the (encoded) body sent before the ending
    Ending ending = Ending::Complete;
    std::chrono::milliseconds stallFor{0};
    size_t chunkSize = 0;                    // slow body: pieces of this size ...
    std::chrono::milliseconds chunkDelay{0}; // ... with this pause after each
    size_t fastBytes = 0;                    // ... after this many bytes sent in one piece

    Response& WithHeader(std::string name, std::string value);

    static Response Ok(std::string body);
    static Response Status(int status, std::string body = {});
    static Response Gzip(std::string body);
    static Response Redirect(std::string location, int status = 302);
    // Content-Length announces the whole body; only the first sent bytes go out, then close.
    static Response CutShort(std::string body, size_t sent);
    // The whole body goes out, but Content-Length announces declaredLength (larger); then close.
    static Response WrongLength(std::string body, uint64_t declaredLength);
    // Connection reset after sent bytes of the body.
    static Response ResetAfter(std::string body, size_t sent);
    // sent bytes, then silence for wait (or until the server stops), then the rest.
    static Response Stall(std::string body, size_t sent, std::chrono::milliseconds wait);
    // The body in pieces of chunkSize bytes with delay after each.
    static Response Slow(std::string body, size_t chunkSize, std::chrono::milliseconds delay);
    // fastBytes at once, then one byte (each in a record of its own) every delay: a body that
    // never falls silent for long, and yet never arrives.
    static Response Trickle(std::string body, size_t fastBytes, std::chrono::milliseconds delay);
};

// Full control: computes the answer from the request (called on a server thread).
using Handler = std::function<Response(const RecordedRequest&)>;

enum class Certificate
{
    Trusted,         // issued by the test CA for localhost, *.localhost names and loopback addresses
    UntrustedIssuer, // same names, issued by a second CA nobody trusts
    Expired,         // test CA, validity ended yesterday
    WrongName,       // test CA, valid only for "elsewhere.localhost"
};

struct ServerOptions
{
    bool secure = true;
    std::string hostName = "127.0.0.1"; // used by HostPort and Url; must resolve to loopback
    Certificate certificate = Certificate::Trusted;
};

class HttpsTestServer
{
public:
    HttpsTestServer();
    explicit HttpsTestServer(ServerOptions options);
    ~HttpsTestServer();
    HttpsTestServer(const HttpsTestServer&) = delete;
    HttpsTestServer& operator=(const HttpsTestServer&) = delete;

    // Routes may be added or replaced at any time. Unrouted requests get 404.
    void Route(const std::string& method, const std::string& path, Response response);
    // Successive requests get successive answers; the last one repeats.
    void Route(const std::string& method, const std::string& path, std::vector<Response> sequence);
    void Route(const std::string& method, const std::string& path, Handler handler);

    // Binds an ephemeral port on 127.0.0.1 and returns once connections are accepted.
    bool Start();
    // Wakes stalls, closes open connections and joins the server thread. Idempotent.
    void Stop();

    uint16_t Port() const;
    std::string HostPort() const;                     // "<hostName>:<port>"
    std::string Url(const std::string& target) const; // scheme, HostPort and target

    std::vector<RecordedRequest> Requests() const;
    // TCP connections accepted so far.
    size_t Connections() const;
    void ClearRequests();

    // ca.pem of the process-wide test CA.
    static std::string CaFile();
    // Points SSL_CERT_FILE at CaFile() and removes proxy variables so that nothing leaves
    // loopback. Call before requests are made (it changes the environment).
    static void UseTestCa();

private:
    struct State;
    std::shared_ptr<State> state;
};

} // namespace testsupport
