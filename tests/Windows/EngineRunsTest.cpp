// Whole download runs of the Windows engine under wine against the local HTTPS server: the same
// release, the same ends as on Linux, with the files written through Win32 and the setup started
// through ShellExecute.

#include "WineWorld.h"

namespace wintest
{
namespace
{

uint64_t ReleaseSize(const std::vector<SetupFile>& files)
{
    uint64_t total = 0;
    for (const auto& file : files)
        total += file.content.size();
    return total;
}

class EngineRun : public WineTest
{
protected:
    // The run ended in the probe, which answered.
    nlohmann::json Run(std::chrono::seconds bound = 60s, const std::vector<std::string>& extra = {})
    {
        const ProbeResult run = world.RunProgram(bound, extra);
        EXPECT_EQ(run.exitStatus, 0) << run.output;
        EXPECT_TRUE(run.answer.is_object()) << run.output;
        EXPECT_EQ(world.ChangesOutside(), std::vector<std::string>{});
        return run.answer.is_object() ? run.answer : nlohmann::json::object();
    }

    void PlaceRelease(size_t damagedFile = SIZE_MAX)
    {
        const char* names[] = {"Setup_ABC.exe", "Setup_ABC-1a.bin"};
        for (size_t i = 0; i < world.files.size(); ++i)
        {
            std::string content = world.files[i].content;
            if (i == damagedFile)
                content[1000] ^= 0x01;
            enginetest::WriteFileText(world.LocalPath(names[i]), content);
        }
    }

    void ExpectSetupStarted()
    {
        const auto launches = world.SetupLaunches(1);
        ASSERT_EQ(launches.size(), 1u);
        EXPECT_EQ(launches[0].arguments, std::vector<std::string>{world.LocalPath("Setup_ABC.exe").string()});
        EXPECT_EQ(launches[0].workingFolder, world.program.string());
    }
};

TEST_F(EngineRun, FreshReleaseIsDownloadedVerifiedAndItsSetupStarted)
{
    world.ServeRelease();
    const nlohmann::json run = Run();

    EXPECT_EQ(run["described"], true);
    EXPECT_EQ(run["ended"], true);
    EXPECT_EQ(run["errorCount"], 0) << run["records"].dump(1);
    EXPECT_TRUE(enginetest::ReadFileText(world.LocalPath("Setup_ABC.exe")) == world.files[0].content);
    EXPECT_TRUE(enginetest::ReadFileText(world.LocalPath("Setup_ABC-1a.bin")) == world.files[1].content);
    EXPECT_EQ(run["downloadedBytes"], ReleaseSize(world.files));
    EXPECT_EQ(run["totalBytes"], ReleaseSize(world.files));
    EXPECT_EQ(run["progressPercent"], 100);
    EXPECT_EQ(run["verifyPercent"], 100);
    ExpectSetupStarted();
    // Each file went over the wire once, signed; the list was read twice for the pass and twice
    // to verify.
    for (const auto& file : world.files)
        EXPECT_EQ(world.RequestsFor("/rel/Files/" + file.name), 1u) << file.name;
    EXPECT_EQ(world.RequestsFor(kListPath), 4u);
    for (const auto& request : world.server.Requests())
    {
        if (request.method == "GET")
        {
            EXPECT_EQ(request.target, request.path + "?sv=1&sig=abc");
        }
    }
}

// Users start the program wherever their browser saved it; wine takes long paths in every form, so
// this shows the forms the layer makes reach the files, the lists and the shell.
TEST_F(EngineRun, ARunFromAFolderPastTheClassicPathLengthFetchesVerifiesAndStartsItsSetup)
{
    while (WindowsPath(world.program).size() < 300)
        world.program /= std::string(60, 'd');
    fs::create_directories(world.program);
    world.ServeRelease();
    const nlohmann::json run = Run();

    EXPECT_EQ(run["ended"], true);
    EXPECT_EQ(run["errorCount"], 0) << run["records"].dump(1);
    EXPECT_TRUE(enginetest::ReadFileText(world.LocalPath("Setup_ABC.exe")) == world.files[0].content);
    EXPECT_TRUE(enginetest::ReadFileText(world.LocalPath("Setup_ABC-1a.bin")) == world.files[1].content);
    EXPECT_EQ(world.SetupLaunches(1).size(), 1u);
}

TEST_F(EngineRun, FilesAlreadyPresentAreKeptWithoutTransfer)
{
    world.ServeRelease();
    PlaceRelease();
    const nlohmann::json run = Run();

    for (const auto& file : world.files)
        EXPECT_EQ(world.RequestsFor("/rel/Files/" + file.name), 0u) << file.name;
    EXPECT_EQ(run["downloadedBytes"], ReleaseSize(world.files));
    EXPECT_EQ(run["errorCount"], 0) << run["records"].dump(1);
    ExpectSetupStarted();
}

TEST_F(EngineRun, DamagedFileIsReplacedAndTheOthersAreUntouched)
{
    world.ServeRelease();
    PlaceRelease(1);
    const auto old = fs::file_time_type::clock::now() - 1h;
    fs::last_write_time(world.LocalPath("Setup_ABC.exe"), old);
    Run();

    EXPECT_TRUE(enginetest::ReadFileText(world.LocalPath("Setup_ABC-1a.bin")) == world.files[1].content);
    EXPECT_EQ(world.RequestsFor("/rel/Files/Setup-1a.bin"), 1u);
    EXPECT_EQ(world.RequestsFor("/rel/Files/Setup.exe"), 0u);
    EXPECT_EQ(fs::last_write_time(world.LocalPath("Setup_ABC.exe")), old);
    ExpectSetupStarted();
}

// The user then leaves through the exit control: the log goes beside the program and, compressed
// in the per-user data folder, to the service.
TEST_F(EngineRun, FileListAnswered404EndsTheRunWithItsMessageAndTheLogIsPosted)
{
    const std::string gone = "This version of Norvia can no longer be downloaded.";
    world.ServeDescription(world.Description());
    world.server.Route("GET", kListPath, Response::Status(404, "gone"));
    const nlohmann::json run = Run(60s, {"--post-log"});

    EXPECT_TRUE(AnyRecordContains(run, gone +
                                           "\r\nPlease download the latest version you received in an e-mail "
                                           "message"));
    EXPECT_GE(run["errorCount"], 1);
    EXPECT_EQ(world.RequestsFor(kListPath), 4u) << "one pass only: the four attempts of the first read";
    EXPECT_TRUE(world.SetupLaunches(0).empty());

    std::vector<testsupport::RecordedRequest> logs;
    for (const auto& request : world.server.Requests())
        if (request.Header("Method") == "LogErrorInfo")
            logs.push_back(request);
    ASSERT_EQ(logs.size(), 1u);
    const nlohmann::json posted = nlohmann::json::parse(
        enginetest::Narrow(enginetest::FromUtf16Le(enginetest::Inflate(logs[0].body))), nullptr, false);
    ASSERT_TRUE(posted.is_array());
    EXPECT_NE(posted.dump().find(gone), std::string::npos);
    EXPECT_NE(enginetest::ReadFileText(world.LocalPath("logfile.txt")).find("Message: " + gone),
              std::string::npos);
}

TEST_F(EngineRun, UnreachableStorageEndsAfterSevenPassesAtTheSupportArticle)
{
    HttpsTestServer closed(LocalServer());
    ASSERT_TRUE(closed.Start());
    nlohmann::json description = world.Description();
    description["host_name"] = closed.HostPort();
    closed.Stop();
    world.ServeDescription(description);
    const nlohmann::json run = Run(180s);

    // Seven passes of two list reads and two verification reads, four attempts each.
    EXPECT_EQ(RecordsStartingWith(run, "Opening connection: "), 7u * 4u * 4u);
    EXPECT_TRUE(AnyRecordWith(run, kAttemptsMessage, nd::kErrorMaxAttemptsExceeded));
    EXPECT_TRUE(
        AnyRecordWith(run, "Connection::HttpSendRequest failed", Platform::HttpError::kCannotConnect));
    EXPECT_EQ(run["lastUserMessage"],
              "Downloading setup failed. You are now directed to our Support Center for help.");
    EXPECT_TRUE(world.SupportArticleOpened());
    EXPECT_TRUE(world.SetupLaunches(0).empty());
}

// Running, and paused first: a paused worker waits in 100 ms steps, a running one in WinINet.
TEST_F(EngineRun, StopDuringATransferEndsPromptlyWithoutSetup)
{
    world.ServeRelease();
    world.server.Route("GET", "/rel/Files/Setup.exe", Response::Slow(world.files[0].content, 1024, 50ms));
    for (const bool pauseFirst : {false, true})
    {
        std::vector<std::string> stop{"--stop-after-bytes=0"};
        if (pauseFirst)
            stop.push_back("--pause-first");
        const nlohmann::json run = Run(60s, stop);
        EXPECT_EQ(run["stopReached"], true) << pauseFirst;
        EXPECT_LT(run["stopMs"], 3000) << pauseFirst;
        EXPECT_EQ(run["ended"], true) << pauseFirst;
        EXPECT_LT(run["downloadedBytes"], world.files[0].content.size()) << pauseFirst;
    }
    EXPECT_EQ(world.RequestsFor("/rel/Files/Setup-1a.bin"), 0u);
    EXPECT_TRUE(world.SetupLaunches(0).empty());
}

} // namespace
} // namespace wintest
