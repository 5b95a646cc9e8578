#include "DownloadSystem/FileDownloadFixture.h"

namespace
{

using namespace filedownloadtest;

// [SECTION] Memory mode

TEST_F(FileDownloadTest, DigitsVerifyAgainstTheirKnownCrc)
{
    server.Route("GET", "/digits.txt", Response::Ok("123456789"));
    FileDownload download;
    Aim(download, "/digits.txt");
    download.SetExpectedCRC(0xCBF43926);

    download.DownloadToMemory();

    EXPECT_EQ(DownloadSystem::kDownloadEnded, download.GetState());
    EXPECT_EQ("123456789", Text(download.GetData()));
    EXPECT_EQ(1u, server.Requests().size());
    EXPECT_EQ(1u, RecordsStartingWith("Checking CRC: 1").size());
    EXPECT_EQ(1u, RecordsStartingWith("Download:  correct CRC. Download succesful.").size());
    EXPECT_EQ(1, listener.finished);
    EXPECT_EQ(DownloadSystem::kDownloadEnded, listener.stateAtFinish);
    EXPECT_EQ(0u, download.GetBytesReceived());
    EXPECT_EQ(0u, nd::GetErrorCount());
}

TEST_F(FileDownloadTest, RequestCarriesSuffixAndAgent)
{
    server.Route("GET", "/dir/file.bin", Response::Ok("x"));
    FileDownload download;
    Aim(download, "/dir/file.bin");
    download.SetRequestSuffix(u"?sv=1&sig=a%2Bb");

    download.DownloadToMemory();

    const auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/dir/file.bin?sv=1&sig=a%2Bb", requests[0].target);
    EXPECT_EQ("Norvia Download Manager / 9.5", requests[0].Header("User-Agent"));
    EXPECT_EQ("x", Text(download.GetData()));
}

TEST_F(FileDownloadTest, WrongCrcMakesFourAttemptsAndLogsEach)
{
    server.Route("GET", "/digits.txt", Response::Ok("123456789"));
    FileDownload download;
    Aim(download, "/digits.txt");
    download.SetExpectedCRC(0x12345678);

    download.DownloadToMemory();

    EXPECT_EQ(4u, server.Requests().size());
    const auto retries = RecordsStartingWith("Download:  incorrect CRC.");
    ASSERT_EQ(4u, retries.size());
    EXPECT_EQ(
        "Download:  incorrect CRC. Expected: 305419896 found: -873187034 bytes read: 9Retrying download",
        retries[0]["message"].get<std::string>());
    EXPECT_EQ(nd::kErrorDownloadRetry, retries[0]["error_number"].get<int>());
    EXPECT_EQ(DownloadSystem::kDownloadEnded, download.GetState());
    EXPECT_EQ(1, listener.finished);
    EXPECT_EQ(0u, nd::GetErrorCount());
}

TEST_F(FileDownloadTest, NotFoundGivesFourAttemptsFourErrorsAndTheStatus)
{
    FileDownload download;
    Aim(download, "/missing.bin");

    download.DownloadToMemory();

    EXPECT_EQ(4u, server.Requests().size());
    EXPECT_EQ(4u, nd::GetErrorCount());
    const auto refused =
        RecordsStartingWith("Response status not 200, but 404 Response headers: HTTP/1.1 404");
    ASSERT_EQ(4u, refused.size());
    EXPECT_EQ(nd::kErrorStatusNot200, refused[0]["error_number"].get<int>());
    EXPECT_EQ("DownloadSystem/FileDownload.cpp", refused[0]["file"].get<std::string>());
    EXPECT_EQ(DownloadSystem::kDownloadEnded, download.GetState());
    EXPECT_EQ(404u, download.GetErrorCode());
    EXPECT_EQ(0u, download.GetData().Size());
    EXPECT_EQ(1, listener.finished);
}

TEST_F(FileDownloadTest, EmptyBodyVerifiesOnlyWithoutExpectedCrc)
{
    server.Route("GET", "/empty", Response::Ok(""));
    FileDownload plain;
    Aim(plain, "/empty");
    plain.DownloadToMemory();
    EXPECT_EQ(1u, server.Requests().size());
    EXPECT_TRUE(RecordsStartingWith("No CRC checked").empty());

    server.ClearRequests();
    FileDownload checked;
    Aim(checked, "/empty");
    checked.SetExpectedCRC(0xCBF43926);
    checked.DownloadToMemory();
    EXPECT_EQ(4u, server.Requests().size());
    EXPECT_EQ(4u, RecordsStartingWith("Download:  incorrect CRC.").size());
}

// Nothing read because the connection broke is no empty answer: the attempt is repeated.
TEST_F(FileDownloadTest, FailureBeforeTheFirstByteIsRetriedWithoutExpectedCrc)
{
    server.Route("GET", "/list.txt",
                 std::vector<Response>{Response::ResetAfter("the list", 0), Response::Ok("the list")});
    FileDownload download;
    Aim(download, "/list.txt");
    download.DownloadToMemory();
    EXPECT_EQ(2u, server.Requests().size());
    EXPECT_TRUE(download.IsVerified());
    EXPECT_EQ("the list", Text(download.GetData()));
}

// Each attempt stops at the limit and fails like a broken connection; nothing of it is kept.
TEST_F(FileDownloadTest, AnswerPastItsLimitFailsEveryAttemptAndIsNotKept)
{
    server.Route("GET", "/list.txt", Response::Ok(RandomBytes(5000, 10)));
    FileDownload download;
    Aim(download, "/list.txt");
    download.SetAnswerLimit(4096);
    download.DownloadToMemory();
    EXPECT_EQ(4u, server.Requests().size());
    EXPECT_FALSE(download.IsVerified());
    EXPECT_EQ(0u, download.GetData().Size());
    EXPECT_EQ(4u, RecordsStartingWith("answer larger than 4096 bytes").size());
}

// Requests to the same server share a connection once an answer was read to its end, also
// one that failed its attempt (a wrong CRC); one left with unread bytes is never used again.
TEST_F(FileDownloadTest, ConnectionIsKeptOnlyAfterAnAnswerReadToItsEnd)
{
    server.Route("GET", "/digits.txt", Response::Ok("123456789"));
    server.Route("GET", "/large.bin", Response::Ok(RandomBytes(2 * 1024 * 1024, 11)));
    auto fetch = [&](const std::string& path, uint32_t crc, uint64_t limit = 1 << 30)
    {
        FileDownload download;
        Aim(download, path);
        download.SetExpectedCRC(crc);
        download.SetAnswerLimit(limit);
        download.DownloadToMemory();
        return download.IsVerified();
    };

    EXPECT_TRUE(fetch("/digits.txt", 0xCBF43926));
    EXPECT_FALSE(fetch("/digits.txt", 0x12345678)); // four attempts
    EXPECT_EQ(5u, server.Requests().size());
    EXPECT_EQ(1u, server.Connections()) << "every answer was read to its end";

    // Each attempt stops reading after 4 KiB of 2 MiB: the first breaks the kept connection,
    // the three others break fresh ones, and the next request needs one more.
    EXPECT_FALSE(fetch("/large.bin", 0, 4096));
    EXPECT_TRUE(fetch("/digits.txt", 0xCBF43926));
    EXPECT_EQ(5u, server.Connections());
}

// A kept connection the server closed just as the request came is replaced by a fresh one
// within the same attempt, but only once: a fresh connection that fails is a failed attempt.
TEST_F(FileDownloadTest, KeptConnectionClosedByTheServerIsRetriedOnceWithinTheAttempt)
{
    Response dropped;
    dropped.ending = Response::Ending::Drop;
    server.Route(
        "GET", "/digits.txt",
        std::vector<Response>{Response::Ok("123456789"), dropped, dropped, Response::Ok("123456789")});
    for (int run = 0; run < 2; ++run)
    {
        FileDownload download;
        Aim(download, "/digits.txt");
        download.SetExpectedCRC(0xCBF43926);
        download.DownloadToMemory();
        EXPECT_TRUE(download.IsVerified()) << "run " << run;
    }

    EXPECT_EQ(4u, server.Requests().size());
    EXPECT_EQ(3u, server.Connections());
    EXPECT_EQ(3u, RecordsStartingWith("Opening connection: ").size()) << "one attempt, then two";
}

TEST_F(FileDownloadTest, ObjectRunsAgainAfterReleasingData)
{
    server.Route("GET", "/list.txt", std::vector<Response>{Response::Ok("first"), Response::Ok("second")});
    FileDownload download;
    Aim(download, "/list.txt");

    download.DownloadToMemory();
    EXPECT_EQ("first", Text(download.GetData()));
    download.ReleaseData();
    EXPECT_EQ(0u, download.GetData().Size());
    download.DownloadToMemory();
    EXPECT_EQ("second", Text(download.GetData()));
    EXPECT_EQ(2, listener.finished);
}

TEST_F(FileDownloadTest, UntrustedCertificateFailsWithCertificateErrorAndNoData)
{
    testsupport::ServerOptions options;
    options.certificate = testsupport::Certificate::UntrustedIssuer;
    HttpsTestServer rogue(options);
    rogue.Route("GET", "/file.bin", Response::Ok("should never be accepted"));
    ASSERT_TRUE(rogue.Start());
    FileDownload download;
    download.SetHost(StringUtils::FromUtf8(rogue.HostPort()));
    download.SetPath(u"/file.bin");
    download.SetListener(&listener);

    download.DownloadToMemory();

    EXPECT_EQ(0u, download.GetData().Size());
    EXPECT_TRUE(rogue.Requests().empty());
    const auto failures = RecordsStartingWith("Connection::HttpSendRequest failed for: ");
    ASSERT_EQ(4u, failures.size());
    const int error = failures[0]["error_number"].get<int>();
    EXPECT_TRUE(error == Platform::HttpError::kInvalidCa ||
                error == Platform::HttpError::kInvalidCertificate ||
                error == Platform::HttpError::kSecurityChannelError)
        << error;
    EXPECT_EQ(DownloadSystem::kDownloadEnded, download.GetState());
}

} // namespace
