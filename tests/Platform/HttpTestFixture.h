#pragma once
// Shared pieces of the HTTP request tests: a fixture that trusts the test CA and restores
// the time-outs, and helpers to read whole answers.

#include <gtest/gtest.h>

#include <string>
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

    static void ShortenReceiveTimeout(uint32_t milliseconds)
    {
        Platform::HttpTimeouts timeouts;
        timeouts.receiveMs = milliseconds;
        Platform::SetHttpTimeoutsForTesting(timeouts);
    }
};

} // namespace httptest
