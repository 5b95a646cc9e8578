// The Windows transfer layer and the workers on it, under wine against the local HTTPS server:
// Platform::HttpRequest on WinINet, FileDownload writing a part file, FileUpload sending fields.
// What WinINet itself does not keep (prompt cancellation, time-outs, a paused reader) is what these
// runs pin; the engine runs use both workers in every other way.

#include "WineWorld.h"
#include "support/TestConnection.h"

namespace wintest
{
namespace
{

class Transfer : public WineTest
{
protected:
    nlohmann::json Probe(std::vector<std::string> arguments)
    {
        arguments.push_back("--timeouts=2000,3000,1500");
        const ProbeResult result = RunProbe(arguments, 120s);
        EXPECT_EQ(result.exitStatus, 0) << result.output;
        return result.answer.is_object() ? result.answer : nlohmann::json::object();
    }

    std::string Host() const { return "--host=" + world.server.HostPort(); }
    std::string Url(const std::string& path) const { return "--url=" + world.server.Url(path); }
};

// [SECTION] Platform::HttpRequest

TEST_F(Transfer, RequestCarriesItsHeaderLinesAndReadsTheWholeAnswer)
{
    world.server.Route("GET", "/a", Response::Ok("body").WithHeader("X-Answer", "yes"));
    const auto answer =
        Probe({"request", Host(), "--target=/a?x=1", "--header=X-One: 1", "--header=User-Agent: Probe"});

    EXPECT_EQ(answer["sent"], true);
    EXPECT_EQ(answer["status"], 200);
    EXPECT_EQ(answer["statusText"], "OK");
    const std::string headers = answer["rawHeaders"];
    EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << headers;
    EXPECT_NE(headers.find("\r\nX-Answer: yes\r\n"), std::string::npos) << headers;
    EXPECT_EQ(headers.substr(headers.size() - 4), "\r\n\r\n");
    EXPECT_EQ(answer["body"]["text"], "body");
    const auto requests = world.server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/a?x=1");
    EXPECT_EQ(requests[0].Header("X-One"), "1");
    EXPECT_EQ(requests[0].Header("User-Agent"), "Probe");
}

// WinINet's own calls would wait for the network as long as it likes; the flag ends the wait.
TEST_F(Transfer, ClearingTheRunningFlagEndsTheWaitAtOnce)
{
    world.server.Route("GET", "/silent", testsupport::Handler(Silence));
    world.server.Route("GET", "/stall", Response::Stall(std::string(4000, 's'), 1000, 60s));
    for (const char* target : {"/silent", "/stall"})
    {
        const auto answer =
            Probe({"request", Host(), std::string("--target=") + target, "--cancel-after-ms=800"});
        const bool failedInSend = answer["sent"] == false;
        EXPECT_EQ(failedInSend ? answer["sendError"] : answer["readError"],
                  Platform::HttpError::kOperationCancelled)
            << target;
        EXPECT_LT(answer["cancelToReturnMs"], 1000) << target;
    }
}

TEST_F(Transfer, SilenceEndsAfterTheTimeOutButAPausedReaderIsNotTimedOut)
{
    world.server.Route("GET", "/silent", testsupport::Handler(Silence));
    world.server.Route("GET", "/whole", Response::Ok(std::string(200000, 'w')));
    const auto silent = Probe({"request", Host(), "--target=/silent"});
    EXPECT_EQ(silent["sendError"], Platform::HttpError::kTimeout);

    // Two seconds without reading, with 1.5 s of silence allowed while waiting.
    const auto paused = Probe({"request", Host(), "--target=/whole", "--pause-ms=2000", "--read-size=1024"});
    EXPECT_EQ(paused["readOk"], true) << paused["readError"];
    EXPECT_EQ(paused["body"]["size"], 200000);
}

// Under wine closing a left call's request does not end the call: it ends when the network lets it
// go, and its thread must end with it rather than linger for the process's life.
TEST_F(Transfer, TheThreadOfALeftCallEndsOnceItsServerLetsGo)
{
    world.server.Route("GET", "/closes",
                       testsupport::Handler(
                           [](const testsupport::RecordedRequest&)
                           {
                               if (auto* connection = testsupport::ConnectionContext::Current())
                                   connection->lifetime.SleepFor(3s);
                               return Response::CutShort(std::string(100, 'c'), 0);
                           }));
    world.server.Route("GET", "/stalls", Response::Stall(std::string(4000, 's'), 1000, 3s));
    const std::pair<std::string, std::string> rows[] = {{"/closes", "--cancel-after-ms=500"},
                                                        {"/stalls", "--read-size=1024"}};
    for (const auto& [target, leave] : rows)
    {
        const auto answer = Probe({"request", Host(), "--target=" + target, leave, "--await-call-threads"});
        const bool cancelled = answer["sendError"] == Platform::HttpError::kOperationCancelled;
        EXPECT_TRUE(cancelled || answer["readError"] == Platform::HttpError::kTimeout) << answer.dump();
        EXPECT_GE(answer["callThreadsEndedMs"], 0) << target << " kept its thread";
    }
}

TEST_F(Transfer, StreamedPostArrivesWholeAndItsCompressedAnswerIsDecoded)
{
    world.server.Route("POST", "/post", Response::Gzip("decoded answer"));
    const std::string body = enginetest::Pattern(3000, 5);
    std::string printable;
    for (char c : body)
        printable += static_cast<char>('a' + (static_cast<unsigned char>(c) % 26));
    const auto answer = Probe({"request", Host(), "--target=/post", "--verb=POST", "--stream", "--decode",
                               "--header=Accept-Encoding: gzip", "--body=" + printable});

    EXPECT_EQ(answer["status"], 200);
    EXPECT_EQ(answer["body"]["text"], "decoded answer");
    const auto requests = world.server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("Content-Length"), "3000");
    EXPECT_TRUE(requests[0].body == printable);
}

// [SECTION] FileDownload

TEST_F(Transfer, PartFileDownloadHoldsWhilePausedAndWritesExactlyTheBody)
{
    const std::string content = enginetest::Pattern(60000, 8);
    world.server.Route("GET", "/p.bin", Response::Slow(content, 2048, 20ms));
    const fs::path destination = world.program / "sub" / "p.bin";
    const auto answer =
        Probe({"download", Host(), "--path=/p.bin", "--crc=" + std::to_string(enginetest::CrcOf(content)),
               "--destination=" + WindowsPath(destination), "--pause-after-bytes=1", "--pause-ms=1000"});

    EXPECT_EQ(answer["bytesWhilePaused"], 0);
    EXPECT_EQ(answer["state"], 7);
    EXPECT_EQ(answer["bytesReceived"], content.size());
    EXPECT_TRUE(enginetest::ReadFileText(destination) == content);
}

// Taken wrapped or left aside, such a length would let a body pass for complete at any length.
TEST_F(Transfer, ALengthPastSixtyFourBitsFailsEachAttemptAtItsHeaderQuery)
{
    world.server.Route("GET", "/huge.bin",
                       Response::Ok("").WithHeader("Content-Length", "18446744073709551616"));
    const fs::path destination = world.program / "huge.bin";
    const auto answer = Probe(
        {"download", Host(), "--path=/huge.bin", "--crc=1", "--destination=" + WindowsPath(destination)});
    EXPECT_EQ(answer["state"], 7);
    EXPECT_EQ(
        RecordsStartingWith(answer, "Connection::HttpQueryInfo failed for: " + WindowsPath(destination)), 4u)
        << answer["records"].dump(1);
    EXPECT_TRUE(AnyRecordWith(answer, "Connection::HttpQueryInfo failed",
                              Platform::HttpError::kInvalidServerResponse));
}

TEST_F(Transfer, StopEndsAPartFileDownloadPromptly)
{
    world.server.Route("GET", "/s.bin", Response::Stall(enginetest::Pattern(60000, 9), 5000, 60s));
    const auto answer =
        Probe({"download", Host(), "--path=/s.bin", "--crc=1",
               "--destination=" + WindowsPath(world.program / "s.bin"), "--stop-after-bytes=5000"});
    EXPECT_LT(answer["stopMs"], 1000);
    EXPECT_EQ(answer["state"], 7);
    EXPECT_EQ(world.RequestsFor("/s.bin"), 1u) << "no attempt after the stop";
}

// [SECTION] FileUpload

TEST_F(Transfer, FormFieldsGoOutInOneSendAndTheAnswerIsRead)
{
    world.server.Route("POST", "/svc", Response::Status(201, "made").WithHeader("X-Id", "7"));
    const auto answer =
        Probe({"upload", Url("/svc"), "--field=b=2", "--field=a=1", "--header=ComputerId=abc"});

    EXPECT_EQ(answer["ok"], true);
    EXPECT_EQ(answer["status"], 201);
    EXPECT_EQ(answer["statusText"], "Created");
    EXPECT_EQ(answer["response"], "made");
    EXPECT_EQ(answer["responseHeaders"]["X-Id"], "7");
    const auto requests = world.server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].body, "a=1&b=2");
    EXPECT_EQ(requests[0].Header("ComputerId"), "abc");
    EXPECT_EQ(requests[0].Header("Accept-Encoding"), "gzip,deflate");
}

TEST_F(Transfer, RefusedOptionsAreLoggedAndNoCodingIsOfferedWithoutDecoding)
{
    world.server.Route("POST", "/svc", Response::Ok("plain"));
    const auto answer =
        Probe({"upload", Url("/svc"), "--field=a=1", "--refuse-option=INTERNET_OPTION_HTTP_DECODING",
               "--refuse-option=INTERNET_OPTION_RECEIVE_TIMEOUT"});

    EXPECT_EQ(answer["response"], "plain");
    const auto requests = world.server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].HasHeader("Accept-Encoding"));
    EXPECT_TRUE(AnyRecordWith(answer, "Setting INTERNET_OPTION_HTTP_DECODING failed", 12011));
    EXPECT_TRUE(AnyRecordWith(answer, "Setting INTERNET_OPTION_RECEIVE_TIMEOUT failed", 12011));
}

} // namespace
} // namespace wintest
