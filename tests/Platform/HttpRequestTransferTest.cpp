// Bodies that end badly, silence, pauses, stop requests, streamed uploads and the life of
// the request object itself.

#include "Platform/HttpRequest.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "HttpTestFixture.h"

using namespace httptest;
using namespace std::chrono_literals;
using testsupport::HttpsTestServer;
using testsupport::RecordedRequest;
using testsupport::Response;

namespace
{

using Clock = std::chrono::steady_clock;

class HttpRequestBrokenBody : public HttpRequestFixture
{
};

TEST_F(HttpRequestBrokenBody, BodyCutShortOfItsContentLengthIsAReadFailure)
{
    const std::string body = PatternBody(200000);
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/cut", Response::CutShort(body, 5000)));
    const ReadResult result = ReadAll(request);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, Platform::HttpError::kConnectionAborted);
    EXPECT_TRUE(result.body == body.substr(0, 5000)) << "the bytes that came are handed out first";
}

TEST_F(HttpRequestBrokenBody, WholeBodyShorterThanAnnouncedIsAReadFailure)
{
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/short", Response::WrongLength("abc", 10)));
    const ReadResult result = ReadAll(request);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, Platform::HttpError::kConnectionAborted);
    EXPECT_EQ(result.body, "abc");
    // The failure stays: reading on does not turn into a clean end.
    char byte = 0;
    size_t count = 0;
    EXPECT_FALSE(request.Read(&byte, 1, count));
    EXPECT_EQ(request.LastError(), Platform::HttpError::kConnectionAborted);
}

TEST_F(HttpRequestBrokenBody, ResetInTheMiddleOfTheBodyIsConnectionReset)
{
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/reset", Response::ResetAfter(PatternBody(300000), 20000)));
    const ReadResult result = ReadAll(request);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, Platform::HttpError::kConnectionReset);
    EXPECT_LE(result.body.size(), 20000u);
}

class HttpRequestTiming : public HttpRequestFixture
{
};

TEST_F(HttpRequestTiming, StalledBodyTimesOut)
{
    ShortenReceiveTimeout(300);
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/stall", Response::Stall("abcdef", 3, 60s)));
    const auto start = Clock::now();
    const ReadResult result = ReadAll(request);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, Platform::HttpError::kTimeout);
    EXPECT_EQ(result.body, "abc");
    EXPECT_LT(Clock::now() - start, 10s);
}

TEST_F(HttpRequestTiming, SilenceShorterThanTheTimeoutIsWaitedOut)
{
    ShortenReceiveTimeout(3000);
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/pause", Response::Stall("abcdef", 3, 200ms)));
    const ReadResult result = ReadAll(request);
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.body, "abcdef");
}

TEST_F(HttpRequestTiming, TimeTheCallerSpendsNotReadingDoesNotCount)
{
    ShortenReceiveTimeout(300);
    const std::string body = PatternBody(3 * 1024 * 1024);
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/big", Response::Ok(body)));
    std::string received(1000, '\0');
    size_t count = 0;
    ASSERT_TRUE(request.Read(received.data(), received.size(), count));
    received.resize(count);
    std::this_thread::sleep_for(900ms); // a paused download, three times the receive time-out
    const ReadResult rest = ReadAll(request, 64 * 1024);
    ASSERT_TRUE(rest.ok) << rest.error;
    EXPECT_TRUE(received + rest.body == body);
}

TEST_F(HttpRequestTiming, SlowBodyArrivesWhole)
{
    const std::string body = PatternBody(8000);
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/slow", Response::Slow(body, 1000, 20ms)));
    const ReadResult result = ReadAll(request, 300);
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.body == body);
}

TEST_F(HttpRequestTiming, ClearedRunningFlagCancelsAWaitingRead)
{
    std::atomic<bool> keepRunning{true};
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndGet(server, request, "/stall", Response::Stall("abcdef", 3, 60s), &keepRunning));
    Clock::time_point cleared;
    std::thread stopper(
        [&]
        {
            std::this_thread::sleep_for(300ms);
            cleared = Clock::now();
            keepRunning = false;
        });
    const ReadResult result = ReadAll(request);
    const auto returned = Clock::now();
    stopper.join();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, Platform::HttpError::kOperationCancelled);
    EXPECT_LT(returned - cleared, 1s);
}

TEST_F(HttpRequestTiming, ClearedRunningFlagCancelsAWaitingSend)
{
    std::atomic<bool> release{false};
    HttpsTestServer server;
    server.Route("GET", "/slowanswer",
                 [&release](const RecordedRequest&)
                 {
                     for (int i = 0; i < 1000 && !release; ++i)
                         std::this_thread::sleep_for(10ms);
                     return Response::Ok("late");
                 });
    ASSERT_TRUE(server.Start());

    std::atomic<bool> keepRunning{true};
    std::thread stopper(
        [&]
        {
            std::this_thread::sleep_for(300ms);
            keepRunning = false;
        });
    Platform::HttpRequest request;
    const auto start = Clock::now();
    EXPECT_FALSE(request.Send(Options(server, "/slowanswer"), nullptr, 0, &keepRunning));
    EXPECT_LT(Clock::now() - start, 1300ms);
    stopper.join();
    release = true;
    EXPECT_EQ(request.LastError(), Platform::HttpError::kOperationCancelled);
}

TEST_F(HttpRequestTiming, ServerSilentBeforeItsAnswerTimesOutTheSend)
{
    ShortenReceiveTimeout(300);
    std::atomic<bool> release{false};
    HttpsTestServer server;
    server.Route("GET", "/mute",
                 [&release](const RecordedRequest&)
                 {
                     for (int i = 0; i < 1000 && !release; ++i)
                         std::this_thread::sleep_for(10ms);
                     return Response::Ok("late");
                 });
    ASSERT_TRUE(server.Start());

    Platform::HttpRequest request;
    EXPECT_FALSE(request.Send(Options(server, "/mute"), nullptr, 0, nullptr));
    release = true;
    EXPECT_EQ(request.LastError(), Platform::HttpError::kTimeout);
}

class HttpRequestUpload : public HttpRequestFixture
{
};

TEST_F(HttpRequestUpload, StreamedBodyArrivesByteForByte)
{
    const std::string body = PatternBody(300 * 1024 + 5);
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndBeginPost(server, request, "/upload", Response::Status(201, "stored"), body.size()));
    for (size_t offset = 0; offset < body.size(); offset += 1024)
    {
        const size_t piece = std::min<size_t>(1024, body.size() - offset);
        size_t written = 0;
        ASSERT_TRUE(request.Write(body.data() + offset, piece, written)) << request.LastError();
        ASSERT_EQ(written, piece);
    }
    ASSERT_TRUE(request.End()) << request.LastError();
    EXPECT_EQ(request.StatusCode(), 201u);
    EXPECT_EQ(ReadAll(request).body, "stored");
    const auto recorded = server.Requests().at(0);
    EXPECT_EQ(recorded.Header("Content-Length"), std::to_string(body.size()));
    EXPECT_TRUE(recorded.body == body);
}

TEST_F(HttpRequestUpload, WritingMoreThanAnnouncedIsRefused)
{
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndBeginPost(server, request, "/upload", Response::Ok("ok"), 4));
    size_t written = 0;
    EXPECT_FALSE(request.Write("12345", 5, written));
    EXPECT_EQ(written, 0u);
    ASSERT_TRUE(request.Write("1234", 4, written));
    ASSERT_TRUE(request.End());
    EXPECT_EQ(server.Requests().at(0).body, "1234");
}

TEST_F(HttpRequestUpload, EndingBeforeTheWholeBodyFails)
{
    HttpsTestServer server;
    Platform::HttpRequest request;
    ASSERT_TRUE(ServeAndBeginPost(server, request, "/upload", Response::Ok("ok"), 10));
    size_t written = 0;
    ASSERT_TRUE(request.Write("12345", 5, written));
    const auto start = Clock::now();
    EXPECT_FALSE(request.End());
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(request.LastError(), Platform::HttpError::kConnectionAborted);
}

class HttpRequestLifetime : public HttpRequestFixture
{
};

TEST_F(HttpRequestLifetime, MovedRequestKeepsReadingItsAnswer)
{
    const std::string body = PatternBody(500000);
    HttpsTestServer server;
    Platform::HttpRequest first;
    ASSERT_TRUE(ServeAndGet(server, first, "/m", Response::Ok(body)));
    Platform::HttpRequest second(std::move(first));
    Platform::HttpRequest third;
    third = std::move(second);
    EXPECT_TRUE(ReadAll(third).body == body);
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(first.StatusCode(), 0u);
}

TEST_F(HttpRequestLifetime, ClosedRequestSendsAgainAndMovedFromOneIsUsable)
{
    HttpsTestServer server;
    server.Route("GET", "/n", std::vector<Response>{Response::Ok("one"), Response::Ok("two")});
    ASSERT_TRUE(server.Start());

    Platform::HttpRequest request;
    ASSERT_TRUE(request.Send(Options(server, "/n"), nullptr, 0, nullptr));
    EXPECT_TRUE(request.IsOpen());
    request.Close();
    EXPECT_FALSE(request.IsOpen());
    EXPECT_EQ(request.StatusCode(), 0u);
    ASSERT_TRUE(request.Send(Options(server, "/n"), nullptr, 0, nullptr));
    EXPECT_EQ(ReadAll(request).body, "two");

    Platform::HttpRequest taker(std::move(request));
    ASSERT_TRUE(request.Send(Options(server, "/n"), nullptr, 0, nullptr));
    EXPECT_EQ(ReadAll(request).body, "two");
}

TEST_F(HttpRequestLifetime, ReadingWithoutARequestFailsInsteadOfEndingCleanly)
{
    Platform::HttpRequest request;
    char buffer[16];
    size_t count = 7;
    EXPECT_FALSE(request.Read(buffer, sizeof buffer, count));
    EXPECT_EQ(count, 0u);
    EXPECT_NE(request.LastError(), 0);
}

} // namespace
