#pragma once
// Shared pieces of the HTTP request tests: a fixture that trusts the test CA and restores
// the time-outs, and helpers to read whole answers.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "Platform/HttpRequest.h"
#include "support/HttpsTestServer.h"

namespace httptest
{

struct ReadResult
{
    bool ok = true;
    std::string body;
    int error = 0;
};

// Reads until the body ends or a read fails.
inline ReadResult ReadAll(Platform::HttpRequest& request, size_t piece = 1000)
{
    ReadResult result;
    std::vector<char> buffer(piece);
    while (true)
    {
        size_t count = 0;
        if (!request.Read(buffer.data(), buffer.size(), count))
        {
            result.ok = false;
            result.error = request.LastError();
            return result;
        }
        if (count == 0)
            return result;
        result.body.append(buffer.data(), count);
    }
}

// Bytes of every value, so that a lost, doubled or shifted piece shows.
inline std::string PatternBody(size_t length)
{
    std::string body(length, '\0');
    for (size_t i = 0; i < length; ++i)
        body[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return body;
}

class HttpRequestFixture : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { testsupport::HttpsTestServer::UseTestCa(); }
    void SetUp() override { Platform::SetHttpTimeoutsForTesting(Platform::HttpTimeouts{}); }
    void TearDown() override { Platform::SetHttpTimeoutsForTesting(Platform::HttpTimeouts{}); }

    static Platform::HttpRequestOptions Options(const testsupport::HttpsTestServer& server,
                                                const std::string& target, bool secure = true)
    {
        Platform::HttpRequestOptions options;
        options.host = server.HostPort();
        options.secure = secure;
        options.target = target;
        options.headerBlock = "User-Agent: Norvia Download Manager / 9.5";
        return options;
    }

    // Routes one answer and starts `server`; false, with the reason recorded, when it does not start.
    [[nodiscard]] static bool Serve(testsupport::HttpsTestServer& server, const std::string& method,
                                    const std::string& target, testsupport::Response response)
    {
        server.Route(method, target, std::move(response));
        if (server.Start())
            return true;
        ADD_FAILURE() << "the test server did not start";
        return false;
    }

    // Routes `response` at GET `target`, starts `server` and sends that GET through `request`.
    // False when the server does not start or the request is not answered; the reason is
    // recorded as a failure, so callers only need ASSERT_TRUE.
    [[nodiscard]] static bool ServeAndGet(testsupport::HttpsTestServer& server,
                                          Platform::HttpRequest& request, const std::string& target,
                                          testsupport::Response response,
                                          const std::atomic<bool>* keepRunning = nullptr)
    {
        if (!Serve(server, "GET", target, std::move(response)))
            return false;
        if (!request.Send(Options(server, target), nullptr, 0, keepRunning))
        {
            ADD_FAILURE() << "GET " << target << " failed with " << request.LastError();
            return false;
        }
        return true;
    }

    // Starts `server` answering POST `target` with `response` and begins a streamed POST that
    // announces `length` body bytes; false, with the reason recorded, when either fails.
    [[nodiscard]] static bool ServeAndBeginPost(testsupport::HttpsTestServer& server,
                                                Platform::HttpRequest& request, const std::string& target,
                                                testsupport::Response response, uint64_t length)
    {
        if (!Serve(server, "POST", target, std::move(response)))
            return false;
        Platform::HttpRequestOptions options = Options(server, target);
        options.verb = "POST";
        if (!request.Begin(options, length, nullptr))
        {
            ADD_FAILURE() << "POST " << target << " did not begin: " << request.LastError();
            return false;
        }
        return true;
    }

    static void ShortenReceiveTimeout(uint32_t milliseconds)
    {
        Platform::HttpTimeouts timeouts;
        timeouts.receiveMs = milliseconds;
        Platform::SetHttpTimeoutsForTesting(timeouts);
    }
};

} // namespace httptest
