// Requests against the local HTTPS server: answers, headers and the failures a download
// can meet, each with the error number the error log names.

#include "Platform/HttpRequest.h"

#include "HttpTestFixture.h"
#include "support/TestPki.h"

#include <filesystem>
#include <tuple>

using namespace httptest;
using Platform::HttpError::kCannotConnect;
using testsupport::Certificate;
using testsupport::HttpsTestServer;
using testsupport::Response;
using testsupport::ServerOptions;

namespace
{

class HttpRequestAnswer : public HttpRequestFixture
{
};

TEST_F(HttpRequestAnswer, BodyArrivesByteExactInPieces)
{
    const std::string body = PatternBody(1024 * 1024 + 17);
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/big", Response::Ok(body)));
    EXPECT_EQ(request.StatusCode(), 200u);
    EXPECT_EQ(request.StatusText(), "OK");
    const ReadResult result = ReadAll(request, 1024);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.body == body);
    EXPECT_EQ(request.LastError(), 0);
}

TEST_F(HttpRequestAnswer, RawHeadersAreTheStatusLineAndHeaderLinesEndingInAnEmptyLine)
{
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/h", Response::Ok("12345").WithHeader("X-Marker", "yes")));
    const std::string headers = request.RawHeaders();
    EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << headers;
    EXPECT_NE(headers.find("\r\nContent-Length: 5\r\n"), std::string::npos) << headers;
    EXPECT_NE(headers.find("\r\nX-Marker: yes\r\n"), std::string::npos) << headers;
    ASSERT_GE(headers.size(), 4u);
    EXPECT_EQ(headers.substr(headers.size() - 4), "\r\n\r\n");
    EXPECT_EQ(headers.find("\r\n\r\n"), headers.size() - 4) << "one empty line, at the end";
}

TEST_F(HttpRequestAnswer, NotFoundIsACompletedRequestWithItsBody)
{
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/gone", Response::Status(404, "nothing here")));
    EXPECT_EQ(request.StatusCode(), 404u);
    EXPECT_EQ(request.StatusText(), "Not Found");
    const ReadResult result = ReadAll(request);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.body, "nothing here");
}

TEST_F(HttpRequestAnswer, EmptyBodyEndsAtOnce)
{
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/empty", Response::Ok("")));
    const ReadResult result = ReadAll(request);
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.body.empty());
}

TEST_F(HttpRequestAnswer, GzipAnswerIsDecodedAndAcceptEncodingIsTheBlocksOwn)
{
    const std::string text(50000, 'n');
    HttpsTestServer server;
    ASSERT_TRUE(Serve(server, "GET", "/z", Response::Gzip(text)));

    Platform::HttpRequestOptions options = Options(server, "/z");
    options.decodeContent = true;
    options.headerBlock = "Accept-Encoding: gzip,deflate";
    Platform::HttpRequest request;
    ASSERT_TRUE(request.Send(options, nullptr, 0, nullptr));
    const ReadResult result = ReadAll(request);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.body == text);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].Header("Accept-Encoding"), "gzip,deflate");
}

// Codings are named only where the layer will undo them: a refused decoding sends the plain block.
TEST_F(HttpRequestAnswer, TheDecodingBlockGoesOutOnlyWhenDecodingWasAccepted)
{
    HttpsTestServer server;
    ASSERT_TRUE(Serve(server, "GET", "/z", Response::Ok("plain")));
    Platform::HttpRequestOptions options = Options(server, "/z");
    options.decodeContent = true;
    options.decodingHeaderBlock = options.headerBlock + "\r\nAccept-Encoding: gzip,deflate";
    for (const bool refused : {false, true})
    {
        Platform::RefuseHttpOptionsForTesting(
            refused ? std::vector<std::string>{"INTERNET_OPTION_HTTP_DECODING"} : std::vector<std::string>{});
        Platform::HttpRequest request;
        ASSERT_TRUE(request.Send(options, nullptr, 0, nullptr));
        EXPECT_EQ(request.DecodingAccepted(), !refused);
        EXPECT_EQ(request.OptionFailures().size(), refused ? 1u : 0u);
    }
    Platform::RefuseHttpOptionsForTesting({});
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Header("Accept-Encoding"), "gzip,deflate");
    EXPECT_FALSE(requests[1].HasHeader("Accept-Encoding"));
}

TEST_F(HttpRequestAnswer, WithoutDecodingTheEncodedBytesArriveUnchanged)
{
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/z", Response::Gzip("plain text")));
    const ReadResult result = ReadAll(request);
    ASSERT_TRUE(result.ok);
    ASSERT_GE(result.body.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(result.body[0]), 0x1F);
    EXPECT_EQ(static_cast<unsigned char>(result.body[1]), 0x8B);
    EXPECT_FALSE(server.Requests()[0].HasHeader("Accept-Encoding"));
}

TEST_F(HttpRequestAnswer, BrokenEncodingFailsWithDecodingFailed)
{
    HttpsTestServer server;
    ASSERT_TRUE(Serve(server, "GET", "/bad",
                      Response::Ok(std::string(4000, 'x')).WithHeader("Content-Encoding", "gzip")));

    Platform::HttpRequestOptions options = Options(server, "/bad");
    options.decodeContent = true;
    Platform::HttpRequest request;
    const bool sent = request.Send(options, nullptr, 0, nullptr);
    const ReadResult result = sent ? ReadAll(request) : ReadResult{false, {}, request.LastError()};
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, Platform::HttpError::kDecodingFailed);
}

TEST_F(HttpRequestAnswer, PlainHttpServerAnswersAnInsecureRequest)
{
    ServerOptions plainOptions;
    plainOptions.secure = false;
    HttpsTestServer server(plainOptions);
    ASSERT_TRUE(Serve(server, "GET", "/p", Response::Ok("plain")));

    Platform::HttpRequest request;
    ASSERT_TRUE(request.Send(Options(server, "/p", false), nullptr, 0, nullptr)) << request.LastError();
    EXPECT_EQ(ReadAll(request).body, "plain");
}

class HttpRequestHeaders : public HttpRequestFixture
{
};

TEST_F(HttpRequestHeaders, BlockLinesLeaveInBlockOrderWithoutCurlDefaults)
{
    HttpsTestServer server;
    ASSERT_TRUE(Serve(server, "GET", "/order", Response::Ok("ok")));

    Platform::HttpRequestOptions options = Options(server, "/order");
    options.headerBlock = "Zeta: 1\r\nUser-Agent: Norvia Download Manager / 9.5\r\nAlpha: 2\r\nMiddle: three";
    Platform::HttpRequest request;
    ASSERT_TRUE(request.Send(options, nullptr, 0, nullptr));
    ASSERT_TRUE(ReadAll(request).ok);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    std::vector<std::string> names;
    for (const auto& [name, value] : requests[0].headers)
        names.push_back(name);
    const std::vector<std::string> expected = {"Host", "Zeta", "User-Agent", "Alpha", "Middle"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(requests[0].Header("User-Agent"), "Norvia Download Manager / 9.5");
    EXPECT_EQ(requests[0].Header("Host"), server.HostPort());
}

TEST_F(HttpRequestHeaders, TargetWithoutLeadingSlashGetsOneAndHostTakesTheDefaultPort)
{
    HttpsTestServer server;
    ASSERT_TRUE(Serve(server, "GET", "/files/list.txt", Response::Ok("list")));

    Platform::HttpRequestOptions options = Options(server, "files/list.txt?sig=a%2Bb&x=1");
    options.host = "127.0.0.1";
    options.defaultPort = server.Port();
    Platform::HttpRequest request;
    ASSERT_TRUE(request.Send(options, nullptr, 0, nullptr)) << request.LastError();
    EXPECT_EQ(ReadAll(request).body, "list");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].target, "/files/list.txt?sig=a%2Bb&x=1");
}

TEST_F(HttpRequestHeaders, PostedBodyArrivesWithoutAnInventedContentType)
{
    HttpsTestServer server;
    ASSERT_TRUE(Serve(server, "POST", "/post", Response::Status(201, "made")));

    const std::string body = "a=1&b=2";
    Platform::HttpRequestOptions options = Options(server, "/post");
    options.verb = "POST";
    Platform::HttpRequest request;
    ASSERT_TRUE(request.Send(options, body.data(), body.size(), nullptr));
    EXPECT_EQ(request.StatusCode(), 201u);
    EXPECT_EQ(ReadAll(request).body, "made");
    const auto recorded = server.Requests().at(0);
    EXPECT_EQ(recorded.method, "POST");
    EXPECT_EQ(recorded.body, body);
    EXPECT_EQ(recorded.Header("Content-Length"), "7");
    EXPECT_FALSE(recorded.HasHeader("Content-Type"));
    EXPECT_FALSE(recorded.HasHeader("Expect"));
}

class HttpRequestFailure : public HttpRequestFixture
{
protected:
    static int SendError(const Platform::HttpRequestOptions& options)
    {
        Platform::HttpRequest request;
        EXPECT_FALSE(request.Send(options, nullptr, 0, nullptr));
        return request.LastError();
    }
};

TEST_F(HttpRequestFailure, ClosedPortCannotConnect)
{
    HttpsTestServer server;
    ASSERT_TRUE(server.Start());
    const Platform::HttpRequestOptions options = Options(server, "/");
    server.Stop(); // the port is known and nobody listens on it any more
    EXPECT_EQ(SendError(options), kCannotConnect);
}

TEST_F(HttpRequestFailure, UnknownHostNameIsNotResolved)
{
    Platform::HttpRequestOptions options;
    options.host = "nonexistent.invalid";
    EXPECT_EQ(SendError(options), Platform::HttpError::kNameNotResolved);
}

TEST_F(HttpRequestFailure, HostNameThatCannotFormAUrlIsInvalid)
{
    Platform::HttpRequestOptions options;
    options.host = "bad host/";
    EXPECT_EQ(SendError(options), Platform::HttpError::kInvalidUrl);
}

// Each failure is told by the WinINet step it belongs to, as the records of the workers name it.
TEST_F(HttpRequestFailure, EachFailureNamesTheStepItBelongsTo)
{
    HttpsTestServer gone;
    ASSERT_TRUE(gone.Start());
    const Platform::HttpRequestOptions closed = Options(gone, "/");
    gone.Stop();
    HttpsTestServer server;
    server.Route("GET", "/huge", Response::Ok("").WithHeader("Content-Length", "18446744073709551616"));
    server.Route("GET", "/ok", Response::Ok("fine"));
    ASSERT_TRUE(server.Start());
    Platform::HttpRequestOptions badHost;
    badHost.host = "bad host/";
    using Platform::HttpStep;
    const std::tuple<Platform::HttpRequestOptions, HttpStep, int> rows[] = {
        {closed, HttpStep::kInternetConnect, kCannotConnect},
        {badHost, HttpStep::kHttpOpenRequest, Platform::HttpError::kInvalidUrl},
        {Options(server, "/huge"), HttpStep::kHttpQueryInfo, Platform::HttpError::kInvalidServerResponse},
        {Options(server, "/ok"), HttpStep::kNone, 0},
    };
    for (const auto& [options, step, error] : rows)
    {
        Platform::HttpRequest request;
        EXPECT_EQ(request.Send(options, nullptr, 0, nullptr), error == 0) << options.target;
        EXPECT_EQ(request.FailedStep(), step) << options.target;
        EXPECT_EQ(request.LastError(), error) << options.target;
    }
}

TEST_F(HttpRequestFailure, CertificateProblemsHaveTheirOwnNumbers)
{
    const std::pair<Certificate, int> cases[] = {
        {Certificate::UntrustedIssuer, Platform::HttpError::kInvalidCa},
        {Certificate::Expired, Platform::HttpError::kCertDateInvalid},
        {Certificate::WrongName, Platform::HttpError::kCertNameInvalid},
    };
    for (const auto& [certificate, expected] : cases)
    {
        ServerOptions serverOptions;
        serverOptions.certificate = certificate;
        HttpsTestServer server(serverOptions);
        server.Route("GET", "/", Response::Ok("never"));
        ASSERT_TRUE(server.Start());
        EXPECT_EQ(SendError(Options(server, "/")), expected) << static_cast<int>(certificate);
        EXPECT_TRUE(server.Requests().empty()) << "no request may pass an unverified certificate";
    }
}

// Trust stores read from the bundle are kept for later connections; one from a bundle since
// replaced at the same path must not be.
TEST_F(HttpRequestFailure, BundleReplacedAtTheSamePathIsReadAgain)
{
    const std::string bundle = testing::TempDir() + "replaced-bundle.pem";
    std::filesystem::copy_file(HttpsTestServer::CaFile(), bundle,
                               std::filesystem::copy_options::overwrite_existing);
    ::setenv("SSL_CERT_FILE", bundle.c_str(), 1);
    HttpsTestServer first, second;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(first, request, "/", Response::Ok("trusted")));
    request.Close();
    // Now a bundle without the test CA (a certificate it did not issue); a second server, so
    // that no TLS session of the first connection is resumed.
    std::filesystem::copy_file(
        testsupport::TestPki::Instance().Files(Certificate::UntrustedIssuer).certificate, bundle,
        std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(Serve(second, "GET", "/", Response::Ok("never")));
    EXPECT_EQ(SendError(Options(second, "/")), Platform::HttpError::kInvalidCa);
    HttpsTestServer::UseTestCa();
    std::filesystem::remove(bundle);
}

TEST_F(HttpRequestFailure, RedirectFromHttpsToHttpIsRefused)
{
    ServerOptions plainOptions;
    plainOptions.secure = false;
    HttpsTestServer plain(plainOptions);
    ASSERT_TRUE(Serve(plain, "GET", "/b", Response::Ok("insecure")));
    HttpsTestServer server;
    ASSERT_TRUE(Serve(server, "GET", "/a", Response::Redirect(plain.Url("/b"))));

    EXPECT_EQ(SendError(Options(server, "/a")), Platform::HttpError::kHttpsToHttpRedirect);
    EXPECT_TRUE(plain.Requests().empty());
}

TEST_F(HttpRequestFailure, RedirectToAnotherLoopbackHostIsFollowed)
{
    ServerOptions otherOptions;
    otherOptions.hostName = "service.localhost";
    HttpsTestServer other(otherOptions);
    ASSERT_TRUE(Serve(other, "GET", "/b", Response::Ok("moved here").WithHeader("X-Final", "1")));
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/a", Response::Redirect(other.Url("/b"), 301)));
    EXPECT_EQ(request.StatusCode(), 200u);
    EXPECT_EQ(request.RawHeaders().rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_NE(request.RawHeaders().find("X-Final: 1"), std::string::npos);
    EXPECT_EQ(request.RawHeaders().find("Location"), std::string::npos);
    EXPECT_EQ(ReadAll(request).body, "moved here");
    ASSERT_EQ(other.Requests().size(), 1u);
    EXPECT_EQ(other.Requests()[0].Header("Host"), other.HostPort());
}

TEST_F(HttpRequestFailure, EndlessRedirectsFail)
{
    HttpsTestServer server;
    ASSERT_TRUE(server.Start());
    server.Route("GET", "/loop", Response::Redirect(server.Url("/loop")));
    EXPECT_EQ(SendError(Options(server, "/loop")), Platform::HttpError::kRedirectFailed);
}

} // namespace
