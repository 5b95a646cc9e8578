// Whole download runs of the engine against the local HTTPS server.

#include "EngineTestSupport.h"

#include "DownloadSystem/DownloadManager.h"

#include <dirent.h>

namespace enginetest
{
namespace
{

using DownloadSystem::DownloadManager;

const std::vector<SetupFile> kRelease{
    {"Setup.exe", Pattern(70000, 1)},
    {"Setup-1a.bin", Pattern(150000, 2)},
    {"Setup-2a.bin", Pattern(3000, 3)},
};

uint64_t ReleaseSize(const std::vector<SetupFile>& files)
{
    uint64_t total = 0;
    for (const auto& file : files)
        total += file.content.size();
    return total;
}

size_t ThreadCount()
{
    size_t count = 0;
    if (DIR* tasks = opendir("/proc/self/task"))
    {
        while (const dirent* entry = readdir(tasks))
        {
            if (entry->d_name[0] != '.')
                ++count;
        }
        closedir(tasks);
    }
    return count;
}

class EngineRun : public EngineTest
{
protected:
    // Taken before the fixture's server starts its threads.
    const size_t threadsAtStart = ThreadCount();
};

TEST_F(EngineRun, FreshReleaseIsDownloadedVerifiedAndItsSetupLaunched)
{
    ServeRelease(kRelease);
    DownloadManager manager;
    ASSERT_TRUE(RunToEnd(manager));

    EXPECT_TRUE(ReadFileText(LocalPath("Setup_ABC.exe")) == kRelease[0].content);
    EXPECT_TRUE(ReadFileText(LocalPath("Setup_ABC-1a.bin")) == kRelease[1].content);
    EXPECT_TRUE(ReadFileText(LocalPath("Setup_ABC-2a.bin")) == kRelease[2].content);
    EXPECT_FALSE(fs::exists(LocalPath("Setup.exe")));
    EXPECT_EQ(nd::GetErrorCount(), 0u);

    const auto launches = opener.WaitForLaunches(1);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].workingFolder, target.string());
    EXPECT_EQ(launches[0].arguments, std::vector<std::string>{LocalPath("Setup_ABC.exe").string()});

    EXPECT_EQ(manager.GetTotalBytes(), ReleaseSize(kRelease));
    EXPECT_EQ(manager.GetDownloadedBytes(), ReleaseSize(kRelease));
    EXPECT_EQ(manager.GetProgressPercent(), 100);
    EXPECT_EQ(manager.GetVerifyPercent(), 100u);
    EXPECT_FALSE(manager.IsCheckingFile());
    EXPECT_EQ(manager.GetCheckingFileName(), u"");
    EXPECT_NE(manager.GetStartTick(), DownloadManager::kNoStartTick);
    EXPECT_TRUE(manager.StartedSetup());
    // Each file went over the wire once; the list was read twice for the pass and twice to verify.
    for (const auto& file : kRelease)
        EXPECT_EQ(RequestsFor("/rel/Files/" + file.name), 1u) << file.name;
    EXPECT_EQ(RequestsFor("/rel/Files/Norvia_3_2_Home.txt"), 4u);
}

TEST_F(EngineRun, StorageRequestsCarryTheSignatureQuery)
{
    ServeRelease(kRelease);
    DownloadManager manager;
    ASSERT_TRUE(RunToEnd(manager));
    const auto requests = server.Requests();
    size_t storageRequests = 0;
    for (const auto& request : requests)
    {
        if (request.method != "GET")
            continue;
        ++storageRequests;
        EXPECT_EQ(request.target, request.path + "?sv=1&sig=abc");
    }
    EXPECT_EQ(storageRequests, 7u);
}

TEST_F(EngineRun, FilesAlreadyPresentAreKeptWithoutTransfer)
{
    ServeRelease(kRelease);
    PlaceFiles({{"Setup_ABC.exe", kRelease[0].content},
                {"Setup_ABC-1a.bin", kRelease[1].content},
                {"Setup_ABC-2a.bin", kRelease[2].content}});
    DownloadManager manager;
    ASSERT_TRUE(RunToEnd(manager));

    for (const auto& file : kRelease)
        EXPECT_EQ(RequestsFor("/rel/Files/" + file.name), 0u) << file.name;
    EXPECT_EQ(manager.GetDownloadedBytes(), ReleaseSize(kRelease));
    EXPECT_EQ(nd::GetErrorCount(), 0u);
    const auto launches = opener.WaitForLaunches(1);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].arguments, std::vector<std::string>{LocalPath("Setup_ABC.exe").string()});
}

TEST_F(EngineRun, DamagedFileIsReplacedAndTheOthersAreUntouched)
{
    ServeRelease(kRelease);
    std::string damaged = kRelease[1].content;
    damaged[1000] ^= 0x01;
    PlaceFiles({{"Setup_ABC.exe", kRelease[0].content},
                {"Setup_ABC-1a.bin", damaged},
                {"Setup_ABC-2a.bin", kRelease[2].content}});
    const auto old = fs::file_time_type::clock::now() - 1h;
    fs::last_write_time(LocalPath("Setup_ABC.exe"), old);
    fs::last_write_time(LocalPath("Setup_ABC-2a.bin"), old);

    DownloadManager manager;
    ASSERT_TRUE(RunToEnd(manager));

    EXPECT_TRUE(ReadFileText(LocalPath("Setup_ABC-1a.bin")) == kRelease[1].content);
    EXPECT_EQ(RequestsFor("/rel/Files/Setup-1a.bin"), 1u);
    EXPECT_EQ(RequestsFor("/rel/Files/Setup.exe"), 0u);
    EXPECT_EQ(RequestsFor("/rel/Files/Setup-2a.bin"), 0u);
    EXPECT_EQ(fs::last_write_time(LocalPath("Setup_ABC.exe")), old);
    EXPECT_EQ(fs::last_write_time(LocalPath("Setup_ABC-2a.bin")), old);
    EXPECT_EQ(opener.WaitForLaunches(1).size(), 1u);
}

TEST_F(EngineRun, FileListAnswered404EndsTheRunWithItsMessage)
{
    ServeDescription(server.HostPort());
    server.Route("GET", "/rel/Files/Norvia_3_2_Home.txt", testsupport::Response::Status(404, "gone"));
    DownloadManager manager;
    ASSERT_TRUE(RunToEnd(manager));

    EXPECT_TRUE(
        AnyRecordContains("This version of Norvia can no longer be downloaded.\r\nPlease download the latest "
                          "version you received in an e-mail message"));
    EXPECT_GE(nd::GetErrorCount(), 1u);
    EXPECT_EQ(nd::GetLastUserMessage(),
              "This version of Norvia can no longer be downloaded.\r\nPlease download the "
              "latest version you received in an e-mail message");
    EXPECT_FALSE(manager.StartedSetup());
    // One pass only: the four attempts of the first read.
    EXPECT_EQ(RequestsFor("/rel/Files/Norvia_3_2_Home.txt"), 4u);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(opener.Launches().empty());
}

TEST_F(EngineRun, UnreachableStorageEndsAfterSevenPassesAtTheSupportArticle)
{
    // A port that was just free: nothing listens there.
    testsupport::HttpsTestServer closed;
    ASSERT_TRUE(closed.Start());
    const std::string unreachable = closed.HostPort();
    closed.Stop();
    ServeDescription(unreachable);

    DownloadManager manager;
    ASSERT_TRUE(RunToEnd(manager, 120s));

    // Seven passes of two list reads and two verification reads, four attempts each.
    EXPECT_EQ(RecordsStartingWith("Opening connection: "), 7u * 4u * 4u);
    EXPECT_TRUE(
        AnyRecordContains("Maximum download attempts exceeded. If there are no network or file errors, it "
                          "could be that the files are removed from disk after writing"));
    EXPECT_EQ(nd::GetLastUserMessage(),
              "Downloading setup failed. You are now directed to our Support Center for help.");
    const auto launches = opener.WaitForLaunches(1);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].arguments,
              std::vector<std::string>{"https://support.localhost/help/download-manager-not-working"});
}

TEST_F(EngineRun, ListWithoutExeReportsTheMissingSetup)
{
    // An upper-case extension is not the setup.
    const std::vector<SetupFile> files{{"Setup.EXE", Pattern(2000, 4)}, {"Setup-1a.bin", Pattern(5000, 5)}};
    ServeRelease(files);
    DownloadManager manager;
    ASSERT_TRUE(RunToEnd(manager));

    // Without ".exe" in it the name takes the 7-character rule.
    EXPECT_TRUE(ReadFileText(LocalPath("Se_ABCtup.EXE")) == files[0].content);
    EXPECT_TRUE(AnyRecordContains("Failed to run setup. Setup executable is missing."));
    EXPECT_EQ(nd::GetLastUserMessage(), "Failed to run setup. Setup executable is missing.");
    bool numbered = false;
    for (const auto& record : nd::GetLogRecords())
        numbered = numbered || record["error_number"] == nd::kErrorSetupMissing;
    EXPECT_TRUE(numbered);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(opener.Launches().empty());
}

TEST_F(EngineRun, LaterOfTwoSetupsIsLaunched)
{
    const std::vector<SetupFile> files{{"First.exe", Pattern(1500, 6)}, {"Second.exe", Pattern(1500, 7)}};
    ServeRelease(files);
    DownloadManager manager;
    ASSERT_TRUE(RunToEnd(manager));
    const auto launches = opener.WaitForLaunches(1);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].arguments, std::vector<std::string>{LocalPath("Second_ABC.exe").string()});
}

TEST_F(EngineRun, SetupTheOpenerCannotStartIsReportedAndItsFolderShown)
{
    opener.FailExecutables(3);
    ServeRelease(kRelease);
    DownloadManager manager;
    ASSERT_TRUE(RunToEnd(manager));

    const std::string setup = LocalPath("Setup_ABC.exe").string();
    const std::string message = "Unable to start setup. You can start it manually by executing the file " +
                                setup + " in folder " + target.string() +
                                ". The error message is: xdg-open exited with status 3 Error code: 0x0";
    EXPECT_EQ(nd::GetLastUserMessage().rfind(message, 0), 0u) << nd::GetLastUserMessage();
    EXPECT_EQ(RecordsStartingWith(message), 1u);
    const auto launches = opener.WaitForLaunches(2);
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_EQ(launches[0].arguments, std::vector<std::string>{setup});
    EXPECT_EQ(launches[1].arguments, std::vector<std::string>{target.string()});
}

TEST_F(EngineRun, TinyReleaseShowsWholePercentages)
{
    const std::vector<SetupFile> files{{"Setup.exe", "MZ-tiny"}, {"Setup-1a.bin", Pattern(300, 8)}};
    ServeRelease(files);
    DownloadManager manager;
    ASSERT_TRUE(RunToEnd(manager));
    EXPECT_EQ(manager.GetTotalBytes(), 307u);
    EXPECT_EQ(manager.GetProgressPercent(), 100);
    EXPECT_EQ(manager.GetVerifyPercent(), 100u);
}

TEST_F(EngineRun, ErrorsThatWereResolvedAreNotedBeforeTheSetupStarts)
{
    // The first transfer of the file is damaged, the second is right.
    ServeRelease(kRelease);
    std::string broken = kRelease[2].content;
    broken[10] ^= 0x40;
    server.Route("GET", "/rel/Files/Setup-2a.bin",
                 std::vector<testsupport::Response>{testsupport::Response::Ok(broken),
                                                    testsupport::Response::Ok(kRelease[2].content)});
    DownloadManager manager;
    ASSERT_TRUE(RunToEnd(manager));
    EXPECT_TRUE(
        AnyRecordContains("The download contained errors, but they seem to be resolved. Starting setup"));
    EXPECT_EQ(opener.WaitForLaunches(1).size(), 1u);
    EXPECT_TRUE(manager.StartedSetup()) << "a run that recovered has started the setup";
}

TEST_F(EngineRun, TraversalNameWritesNothingOutsideTheFolder)
{
    const std::vector<SetupFile> files{{"Setup.exe", Pattern(1000, 9)},
                                       {"../evil-1a.bin", Pattern(1000, 10)}};
    ServeRelease(files);
    server.Route("GET", "/rel/evil-1a.bin", testsupport::Response::Ok("evil"));
    DownloadManager manager;
    ASSERT_TRUE(RunToEnd(manager));

    EXPECT_TRUE(AnyRecordContains("outside the download folder: ../evil-1a.bin"));
    EXPECT_EQ(nd::GetLastUserMessage(),
              "The file list names a file outside the download folder: ../evil-1a.bin");
    EXPECT_GE(nd::GetErrorCount(), 1u);
    for (const auto& entry : fs::recursive_directory_iterator(temp.path))
        EXPECT_EQ(entry.path().filename().string().find("evil"), std::string::npos) << entry.path();
    for (const auto& request : server.Requests())
        EXPECT_EQ(request.path.find("evil"), std::string::npos);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(opener.Launches().empty());
}

TEST_F(EngineRun, StopDuringATransferEndsPromptlyWithoutSetup)
{
    ServeRelease(kRelease);
    server.Route("GET", "/rel/Files/Setup.exe", testsupport::Response::Slow(kRelease[0].content, 1024, 50ms));
    {
        DownloadManager manager;
        ASSERT_TRUE(manager.RequestDownloadDescription(u"Norvia_3_2_Home"));
        manager.StartDownloadRun(Wide(kListName), u"", Wide(target.string()), Wide(data.string()));
        ASSERT_TRUE(WaitUntil([&] { return manager.GetDownloadedBytes() > 0; }, 20s));

        const auto start = std::chrono::steady_clock::now();
        manager.StopDownload();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
        EXPECT_FALSE(manager.IsRunning());
        EXPECT_LT(manager.GetDownloadedBytes(), kRelease[0].content.size());
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(opener.Launches().empty());
    EXPECT_EQ(RequestsFor("/rel/Files/Setup-1a.bin"), 0u);
    // Without the server's own threads, nothing of the run is left.
    server.Stop();
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= threadsAtStart; }, 3s))
        << ThreadCount() << " threads, " << threadsAtStart << " at the start";
}

TEST_F(EngineRun, DestroyingTheManagerStopsTheRun)
{
    ServeRelease(kRelease);
    server.Route("GET", "/rel/Files/Setup.exe", testsupport::Response::Slow(kRelease[0].content, 1024, 50ms));
    const auto start = std::chrono::steady_clock::now();
    {
        DownloadManager manager;
        ASSERT_TRUE(manager.RequestDownloadDescription(u"Norvia_3_2_Home"));
        manager.StartDownloadRun(Wide(kListName), u"", Wide(target.string()), Wide(data.string()));
        ASSERT_TRUE(WaitUntil([&] { return manager.GetDownloadedBytes() > 0; }, 20s));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(opener.Launches().empty());
}

TEST_F(EngineRun, PausePressedBeforeATransferHoldsItUntilResumed)
{
    ServeRelease(kRelease);
    DownloadManager manager;
    manager.TogglePauseAll();
    ASSERT_TRUE(manager.RequestDownloadDescription(u"Norvia_3_2_Home"));
    manager.StartDownloadRun(Wide(kListName), u"", Wide(target.string()), Wide(data.string()));
    // The first worker starts paused: nothing arrives while the pause holds.
    ASSERT_TRUE(WaitUntil([&] { return RequestsFor("/rel/Files/Setup.exe") == 1; }, 20s));
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(manager.GetDownloadedBytes(), 0u);
    EXPECT_TRUE(manager.IsRunning());

    manager.TogglePauseAll();
    ASSERT_TRUE(WaitUntil([&] { return !manager.IsRunning(); }, 30s));
    EXPECT_TRUE(ReadFileText(LocalPath("Setup_ABC.exe")) == kRelease[0].content);
    EXPECT_EQ(opener.WaitForLaunches(1).size(), 1u);
}

} // namespace
} // namespace enginetest
