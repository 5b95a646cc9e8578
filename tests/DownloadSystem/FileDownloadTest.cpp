#include "DownloadSystem/FileDownload.h"
#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/IDownloadListener.h"
#include "DownloadSystem/TrickleGuard.h"
#include "Platform/HttpRequest.h"
#include "support/HttpsTestServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <zlib.h>

namespace
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using DownloadSystem::FileDownload;
using nd::StringUtils;
using testsupport::HttpsTestServer;
using testsupport::Response;

class RecordingListener : public DownloadSystem::IDownloadListener
{
public:
    void OnDownloadFinished(DownloadSystem::FileDownload* download) override
    {
        stateAtFinish = download->GetState();
        Note();
        ++finished;
    }
    void OnDownloadProgress(DownloadSystem::FileDownload*) override
    {
        Note();
        ++progress;
    }

    std::atomic<int> finished{0};
    std::atomic<int> progress{0};
    std::atomic<uint32_t> stateAtFinish{0};
    std::mutex mutex;
    std::set<std::thread::id> threads;

private:
    void Note()
    {
        std::lock_guard<std::mutex> hold(mutex);
        threads.insert(std::this_thread::get_id());
    }
};

uint32_t CrcOf(const std::string& text)
{
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
}

std::string RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Text(const nd::ByteBuffer& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Size());
}

std::vector<nd::ErrorRecord> RecordsStartingWith(const std::string& prefix)
{
    std::vector<nd::ErrorRecord> found;
    for (const auto& record : nd::GetLogRecords())
        if (record["message"].get<std::string>().rfind(prefix, 0) == 0)
            found.push_back(record);
    return found;
}

template <typename Condition> bool WaitFor(Condition condition, std::chrono::milliseconds limit = 20s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class FileDownloadTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        HttpsTestServer::UseTestCa();
        Platform::HttpTimeouts timeouts;
        timeouts.connectMs = 2000;
        timeouts.sendMs = 5000;
        timeouts.receiveMs = 5000;
        Platform::SetHttpTimeoutsForTesting(timeouts);
    }

    void SetUp() override
    {
        ASSERT_TRUE(server.Start());
        folder =
            fs::temp_directory_path() / ("norvia-dl-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        nd::ClearErrors();
    }

    void TearDown() override
    {
        server.Stop();
        fs::remove_all(folder);
    }

    void Aim(FileDownload& download, const std::string& path)
    {
        download.SetHost(StringUtils::FromUtf8(server.HostPort()));
        download.SetPath(StringUtils::FromUtf8(path));
        download.SetListener(&listener);
    }

    std::u16string Destination(const std::string& name) const
    {
        return StringUtils::FromUtf8((folder / name).string());
    }

    bool WaitEnded(FileDownload& download)
    {
        return WaitFor([&] { return download.GetState() == DownloadSystem::kDownloadEnded; });
    }

    // Runs a part-file download to `name` in the test folder to its end, then stops the
    // worker; false when it did not end in time (the worker is stopped all the same).
    bool RunPartDownload(FileDownload& download, const std::string& name)
    {
        download.StartPartDownload(Destination(name));
        const bool ended = WaitEnded(download);
        download.Stop(FileDownload::kInfinite);
        return ended;
    }

    // Serves `broken` first and the whole `body` to the next request, downloads it to
    // setup.bin (checked against the body's CRC when `withCrc`) and expects the retry to
    // leave exactly the body after two requests.
    void ExpectRetriedToTheWholeBody(const std::string& body, Response broken, bool withCrc)
    {
        server.Route("GET", "/setup.bin", std::vector<Response>{std::move(broken), Response::Ok(body)});
        FileDownload download;
        Aim(download, "/setup.bin");
        if (withCrc)
            download.SetExpectedCRC(CrcOf(body));

        ASSERT_TRUE(RunPartDownload(download, "setup.bin"));

        EXPECT_EQ(2u, server.Requests().size());
        EXPECT_EQ(body, ReadFile(folder / "setup.bin"));
    }

    // Serves `body` slowly to a part-file download of setup.bin checked against the body's
    // CRC, and pauses it once the first bytes are in, leaving time for a read under way to
    // finish. False, with the reason recorded, when no byte came in time or the toggle did
    // not report a pause.
    bool StartSlowlyThenPause(FileDownload& download, const std::string& body)
    {
        server.Route("GET", "/setup.bin", Response::Slow(body, 8192, 10ms));
        Aim(download, "/setup.bin");
        download.SetExpectedCRC(CrcOf(body));
        download.StartPartDownload(Destination("setup.bin"));
        if (!WaitFor([&] { return download.GetBytesReceived() > 0; }))
        {
            ADD_FAILURE() << "no byte arrived";
            return false;
        }
        const bool paused = download.TogglePause();
        EXPECT_TRUE(paused) << "the toggle did not report a pause";
        std::this_thread::sleep_for(300ms); // a read under way when pausing may still finish
        return paused;
    }

    HttpsTestServer server;
    RecordingListener listener;
    fs::path folder;
};

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

// [SECTION] Part-file mode

TEST_F(FileDownloadTest, PartFileHoldsExactlyTheBodyAndReportsEveryRead)
{
    const std::string body = RandomBytes(3 * 1024 * 1024 + 123, 1);
    server.Route("GET", "/setup.bin", Response::Ok(body));
    FileDownload download;
    Aim(download, "/setup.bin");
    download.SetExpectedCRC(CrcOf(body));

    ASSERT_TRUE(RunPartDownload(download, "setup.bin"));

    EXPECT_EQ(body, ReadFile(folder / "setup.bin"));
    EXPECT_EQ(body.size(), download.GetBytesReceived());
    EXPECT_GE(listener.progress, static_cast<int>((body.size() + 1023) / 1024));
    EXPECT_EQ(1, listener.finished);
    EXPECT_EQ(1u, server.Requests().size());
    EXPECT_TRUE(RecordsStartingWith("Download: ").empty());
    // Callbacks come from the worker, never from the caller's thread.
    EXPECT_EQ(0u, listener.threads.count(std::this_thread::get_id()));
}

TEST_F(FileDownloadTest, CrcMismatchKeepsOnlyTheLastAttemptsBytes)
{
    std::vector<Response> answers;
    for (int i = 1; i <= 4; ++i)
        answers.push_back(Response::Ok(RandomBytes(5000 - 1000 * i + 17, i)));
    const std::string last = RandomBytes(5000 - 4000 + 17, 4);
    server.Route("GET", "/setup.bin", answers);
    FileDownload download;
    Aim(download, "/setup.bin");
    download.SetExpectedCRC(0x01020304);

    ASSERT_TRUE(RunPartDownload(download, "setup.bin"));

    EXPECT_EQ(4u, server.Requests().size());
    EXPECT_EQ(last, ReadFile(folder / "setup.bin"));
    EXPECT_EQ(last.size(), download.GetBytesReceived());
    EXPECT_EQ(4u,
              RecordsStartingWith("Download: " + (folder / "setup.bin").string() + " incorrect CRC.").size());
    EXPECT_EQ(1, listener.finished);
}

TEST_F(FileDownloadTest, ResetMidBodyIsRetriedAndEndsVerified)
{
    const std::string body = RandomBytes(200000, 2);
    ASSERT_NO_FATAL_FAILURE(ExpectRetriedToTheWholeBody(body, Response::ResetAfter(body, 70000), true));
    EXPECT_EQ(1u, RecordsStartingWith("InternetReadFile Failed for: ").size());
    EXPECT_EQ(1u, RecordsStartingWith("Download: ").size());
    EXPECT_EQ(1, listener.finished);
}

TEST_F(FileDownloadTest, BodyCutShortIsRetriedEvenWithoutExpectedCrc)
{
    const std::string body = RandomBytes(50000, 3);
    ExpectRetriedToTheWholeBody(body, Response::CutShort(body, 20000), false);
}

TEST_F(FileDownloadTest, CreatesOneMissingFolderLevel)
{
    server.Route("GET", "/a.bin", Response::Ok("abc"));
    FileDownload download;
    Aim(download, "/a.bin");
    download.SetExpectedCRC(CrcOf("abc"));

    ASSERT_TRUE(RunPartDownload(download, "new/a.bin"));

    EXPECT_EQ("abc", ReadFile(folder / "new" / "a.bin"));
}

TEST_F(FileDownloadTest, FolderThatCannotBeMadeEndsWithStateSevenAndOneCallback)
{
    std::ofstream(folder / "plain-file") << "x";
    FileDownload download;
    Aim(download, "/a.bin");

    ASSERT_TRUE(RunPartDownload(download, "plain-file/sub/a.bin"));

    EXPECT_EQ(1, listener.finished);
    EXPECT_TRUE(server.Requests().empty());
    ASSERT_EQ(1u, nd::GetErrorCount());
    const auto records = RecordsStartingWith("Unable to create directory: ");
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("Unable to create directory: " + (folder / "plain-file" / "sub").string(),
              records[0]["message"].get<std::string>());
    EXPECT_EQ(ENOTDIR, records[0]["error_number"].get<int>());
}

TEST_F(FileDownloadTest, PartFileThatCannotBeCreatedEndsWithStateSevenAndOneCallback)
{
    fs::create_directories(folder / "taken");
    server.Route("GET", "/a.bin", Response::Ok("abc"));
    FileDownload download;
    Aim(download, "/a.bin");

    ASSERT_TRUE(RunPartDownload(download, "taken"));

    EXPECT_EQ(1, listener.finished);
    EXPECT_EQ(1u, server.Requests().size());
    EXPECT_EQ(1u, RecordsStartingWith("Couldn't create part file: " + (folder / "taken").string()).size());
    EXPECT_EQ(1u, nd::GetErrorCount());
}

// [SECTION] Pause and stop

TEST_F(FileDownloadTest, PauseHoldsReadingAndResumeCompletesTheFile)
{
    const std::string body = RandomBytes(400000, 5);
    FileDownload download;
    ASSERT_TRUE(StartSlowlyThenPause(download, body));
    const uint32_t held = download.GetBytesReceived();
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(held, download.GetBytesReceived());
    EXPECT_LT(held, body.size());
    EXPECT_EQ(DownloadSystem::kDownloadRunning, download.GetState());

    EXPECT_FALSE(download.TogglePause());
    ASSERT_TRUE(WaitEnded(download));
    download.Stop(FileDownload::kInfinite);

    EXPECT_EQ(body, ReadFile(folder / "setup.bin"));
    EXPECT_EQ(1u, server.Requests().size());
    EXPECT_EQ(1, listener.finished);
}

TEST_F(FileDownloadTest, StopWhilePausedEndsPromptlyWithOneCallback)
{
    const std::string body = RandomBytes(400000, 6);
    FileDownload download;
    ASSERT_TRUE(StartSlowlyThenPause(download, body));

    const auto before = std::chrono::steady_clock::now();
    download.Stop(FileDownload::kInfinite);
    const auto took = std::chrono::steady_clock::now() - before;

    EXPECT_LT(took, 1s);
    EXPECT_EQ(DownloadSystem::kDownloadEnded, download.GetState());
    EXPECT_EQ(1, listener.finished);
    EXPECT_EQ(1u, server.Requests().size());
    // The incomplete file fails its check, which is logged, and no attempt follows.
    EXPECT_EQ(1u, RecordsStartingWith("Download: ").size());
}

TEST_F(FileDownloadTest, StopWhileWaitingForDataEndsPromptly)
{
    const std::string body = RandomBytes(100000, 8);
    server.Route("GET", "/list.txt", Response::Stall(body, 1000, 60s));
    FileDownload download;
    Aim(download, "/list.txt");
    download.SetExpectedCRC(CrcOf(body));
    std::thread runner([&] { download.DownloadToMemory(); });
    ASSERT_TRUE(WaitFor([&] { return listener.progress > 0; }));
    std::this_thread::sleep_for(200ms);

    const auto before = std::chrono::steady_clock::now();
    download.Stop(FileDownload::kInfinite);
    runner.join();
    const auto took = std::chrono::steady_clock::now() - before;

    EXPECT_LT(took, 1s);
    EXPECT_EQ(DownloadSystem::kDownloadEnded, download.GetState());
    EXPECT_EQ(1, listener.finished);
    EXPECT_EQ(1u, server.Requests().size());
    EXPECT_LT(download.GetData().Size(), body.size());
}

TEST_F(FileDownloadTest, DestroyingARunningWorkerWaitsForIt)
{
    server.Route("GET", "/setup.bin", Response::Stall(RandomBytes(10000, 9), 100, 60s));
    auto download = std::make_unique<FileDownload>();
    Aim(*download, "/setup.bin");
    download->StartPartDownload(Destination("setup.bin"));
    ASSERT_TRUE(WaitFor([&] { return listener.progress > 0; }));

    download.reset();

    EXPECT_EQ(1, listener.finished);
}

// [SECTION] A body that only trickles in

// After 20 000 bytes at once the body drips a byte every 100 ms: never silent long enough for the
// receive time-out, and yet it would take hours. Both modes end the attempt once a window (1 s
// here) brought fewer than 1 KiB, with the records of a failed read, and fetch it again.
TEST_F(FileDownloadTest, BodyThatTricklesInIsAbandonedAndFetchedAgain)
{
    const std::string body = RandomBytes(60000, 11);
    FileDownload::SetTrickleWindowForTesting(1s);
    for (const bool partFile : {false, true})
    {
        SCOPED_TRACE(partFile ? "part file" : "memory");
        nd::ClearErrors();
        server.ClearRequests();
        server.Route("GET", "/setup.bin",
                     std::vector<Response>{Response::Trickle(body, 20000, 100ms), Response::Ok(body)});
        FileDownload download;
        Aim(download, "/setup.bin");
        download.SetExpectedCRC(CrcOf(body));
        const auto start = std::chrono::steady_clock::now();
        if (partFile)
            ASSERT_TRUE(RunPartDownload(download, "setup.bin"));
        else
            download.DownloadToMemory();

        EXPECT_LT(std::chrono::steady_clock::now() - start, 8s) << "the receive time-out is 5 s";
        EXPECT_TRUE(download.IsVerified());
        EXPECT_EQ(2u, server.Requests().size());
        const auto failed = RecordsStartingWith("InternetReadFile Failed for: ");
        ASSERT_EQ(1u, failed.size());
        EXPECT_EQ(Platform::HttpError::kTimeout, failed[0]["error_number"]);
        const auto reconnecting = RecordsStartingWith("Error reading file, reconnecting.");
        ASSERT_EQ(1u, reconnecting.size());
        EXPECT_EQ(Platform::HttpError::kTimeout, reconnecting[0]["error_number"]);
    }
    FileDownload::SetTrickleWindowForTesting(DownloadSystem::TrickleGuard::kWindow);
}

} // namespace
