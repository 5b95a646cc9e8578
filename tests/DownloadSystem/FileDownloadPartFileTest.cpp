#include "DownloadSystem/FileDownloadFixture.h"

namespace
{

using namespace filedownloadtest;

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
