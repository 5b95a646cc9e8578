// Stop requests in every phase of a run, and the user closing the program while the description
// is requested or the files are verified. Each must end promptly: no setup started from an
// unfinished run, no request after the stop, no thread left behind, nothing written outside.

#include "FaultWorld.h"

#include "DownloadSystem/FileUpload.h"
#include "support/TestConnection.h"

#include <atomic>
#include <thread>

namespace reliability
{
namespace
{

constexpr const char* kDataPath = "/rel/Files/Setup-1a.bin";
constexpr auto kStopLimit = 5s;

// Holds the request without a word until the server stops.
Response Silence()
{
    if (testsupport::ConnectionContext* connection = testsupport::ConnectionContext::Current())
        connection->lifetime.SleepFor(120s);
    return Response::Status(503);
}

// The list as usual for its first reads, then silence from the given read on.
void SilentFromListRead(FaultWorld& world, int firstSilentRead)
{
    auto reads = std::make_shared<std::atomic<int>>(0);
    const std::string text = enginetest::FileListText(world.files);
    world.server.Route("GET", kListPath,
                       [=](const testsupport::RecordedRequest&) {
                           return reads->fetch_add(1) + 1 >= firstSilentRead ? Silence() : Response::Ok(text);
                       });
}

// Four files of 16 MiB already complete in the program's folder: checking them takes a while.
void LargeReleaseInPlace(FaultWorld& world)
{
    world.files.clear();
    for (int i = 0; i < 4; ++i)
        world.files.push_back(
            {i == 0 ? "Setup.exe" : "Setup-" + std::to_string(i) + "a.bin", Pattern(16 << 20, 40 + i)});
    world.ServeRelease();
    enginetest::WriteFileText(world.LocalPath("Setup_ABC.exe"), world.files[0].content);
    for (int i = 1; i < 4; ++i)
        enginetest::WriteFileText(world.LocalPath("Setup_ABC-" + std::to_string(i) + "a.bin"),
                                  world.files[i].content);
}

void SlowData(FaultWorld& world)
{
    world.server.Route("GET", kDataPath, Response::Slow(world.files[1].content, 2048, 20ms));
}

DownloadSystem::DownloadManager& Manager(FaultWorld& world)
{
    return *world.core->GetDownloadManager();
}

// The largest file a list can describe, made sparse: a whole check of it takes many seconds.
constexpr uintmax_t kHugeSize = 0xFFFFFFFFu;
constexpr const char* kDataLocalName = "Setup_ABC-1a.bin";

void GrowDataFileHuge(FaultWorld& world)
{
    std::error_code error; // writes of the download go to their own offsets, so the size stays
    if (fs::file_size(world.LocalPath(kDataLocalName), error) < kHugeSize)
        fs::resize_file(world.LocalPath(kDataLocalName), kHugeSize, error);
}

// The fetched data file grows huge when the verification reads the list.
void HugeDataFileBeforeVerifying(FaultWorld& world)
{
    auto reads = std::make_shared<std::atomic<int>>(0);
    const std::string text = enginetest::FileListText(world.files);
    world.server.Route("GET", kListPath,
                       [=, &world](const testsupport::RecordedRequest&)
                       {
                           if (reads->fetch_add(1) + 1 == 3)
                               GrowDataFileHuge(world);
                           return Response::Ok(text);
                       });
}

// Polls finely: some phases last only milliseconds.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(200us);
    }
    return true;
}

struct Phase
{
    std::string name;
    std::function<void(FaultWorld&)> arrange;
    std::function<bool(FaultWorld&)> reached;
    bool pauseFirst = false;
    size_t setupLaunches = 0; // only a run that already ended has started its setup
    // A file check under way answers a stop within 1 s and leaves the (huge) data file alone.
    bool checkingHugeFile = false;
};

void PrintTo(const Phase& phase, std::ostream* out)
{
    *out << phase.name;
}

std::string PhaseName(const ::testing::TestParamInfo<Phase>& info)
{
    return info.param.name;
}

const std::vector<Phase> kPhases{
    {"ReadingTheList", [](FaultWorld& w) { SilentFromListRead(w, 1); },
     [](FaultWorld& w) { return w.RequestsFor(kListPath) >= 1; }},
    {"CheckingFilesOnDisk", LargeReleaseInPlace,
     [](FaultWorld& w) { return !Manager(w).GetCheckingFileName().empty(); }},
    {"Downloading", SlowData,
     [](FaultWorld& w) { return Manager(w).GetDownloadedBytes() > w.files[0].content.size(); }},
    {"DownloadPaused", SlowData,
     [](FaultWorld& w) { return Manager(w).GetDownloadedBytes() > w.files[0].content.size(); }, true},
    {"ReadingTheListToVerify", [](FaultWorld& w) { SilentFromListRead(w, 3); },
     [](FaultWorld& w) { return w.RequestsFor(kListPath) >= 3; }},
    {"VerifyingFiles", LargeReleaseInPlace,
     [](FaultWorld& w)
     {
         return w.RequestsFor(kListPath) >= 4 && Manager(w).IsCheckingFile() &&
                Manager(w).GetCheckingFileName().empty();
     }},
    {"SecondPass", [](FaultWorld& w) { w.server.Route("GET", kDataPath, Response::Status(500)); },
     [](FaultWorld& w) { return w.RequestsFor(kListPath) >= 5; }},
    {"AfterTheSetupStarted", [](FaultWorld&) {}, [](FaultWorld& w) { return w.core->IsFinished(); }, false,
     1},
    {"CheckingAHugeFileOnDisk",
     [](FaultWorld& w)
     {
         enginetest::WriteFileText(w.LocalPath(kDataLocalName), "");
         GrowDataFileHuge(w);
     },
     [](FaultWorld& w)
     { return Manager(w).GetCheckingFileName() == nd::StringUtils::FromUtf8(kDataLocalName); },
     false, 0, true},
    {"VerifyingAHugeFile", HugeDataFileBeforeVerifying,
     [](FaultWorld& w) { return Manager(w).IsCheckingFile() && Manager(w).GetVerifyPercent() > 0; }, false, 0,
     true},
    // The data file grows huge while its body comes in; reached once the body is in. The worker's
    // check went along with the writes, so what reads the huge file now is the verification.
    {"ReadingBackAHugeDownload", SlowData,
     [](FaultWorld& w)
     {
         const uint64_t received = Manager(w).GetDownloadedBytes();
         if (received > w.files[0].content.size())
             GrowDataFileHuge(w);
         return received >= w.files[0].content.size() + w.files[1].content.size();
     },
     false, 0, true},
};

// A world serving a good release, warmed up, under either kind of suite.
template <typename Suite> class ServedWorld : public Suite
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(world.Open());
        world.ServeRelease();
        world.WarmUp();
    }

    FaultWorld world;
};

class StopInEveryPhase : public ServedWorld<::testing::TestWithParam<Phase>>
{
};

TEST_P(StopInEveryPhase, EndsPromptlyWithoutASetupFromAnUnfinishedRun)
{
    const Phase& phase = GetParam();
    phase.arrange(world);
    world.TakeSnapshot();
    const size_t threadsBefore = ThreadCount();

    auto core = world.MakeCore();
    ASSERT_TRUE(core->RequestDescription());
    core->StartDownload();
    ASSERT_TRUE(WaitFor([&] { return phase.reached(world); }, 30s)) << "the run never reached " << phase.name;
    if (phase.pauseFirst)
    {
        core->TogglePause();
        std::this_thread::sleep_for(300ms);
    }

    const size_t requestsAtStop = world.server.Requests().size();
    const auto start = std::chrono::steady_clock::now();
    Manager(world).StopDownload();
    EXPECT_LT(std::chrono::steady_clock::now() - start, phase.checkingHugeFile ? 1s : kStopLimit);
    EXPECT_TRUE(core->IsFinished());
    if (phase.checkingHugeFile)
    {
        // A stopped check is no failed one: no record, and the file stays.
        EXPECT_EQ(fs::file_size(world.LocalPath(kDataLocalName)), kHugeSize);
        EXPECT_FALSE(enginetest::AnyRecordContains("CRC is not correct") ||
                     enginetest::AnyRecordContains("incorrect CRC"));
    }

    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(world.server.Requests().size(), requestsAtStop) << "a request went out after the stop";
    EXPECT_EQ(world.FileLaunches(phase.setupLaunches).size(), phase.setupLaunches);
    EXPECT_EQ(world.ChangesOutside(), std::vector<std::string>{});

    core.reset();
    world.core.reset();
    EXPECT_TRUE(enginetest::WaitUntil([&] { return ThreadCount() <= threadsBefore; }, 5s))
        << ThreadCount() << " threads, " << threadsBefore << " before the run";
}

INSTANTIATE_TEST_SUITE_P(Phases, StopInEveryPhase, ::testing::ValuesIn(kPhases), PhaseName);

class ProgramClose : public ServedWorld<::testing::Test>
{
};

// The request runs beside the UI thread, which goes on drawing; a close made meanwhile destroys
// the front-end, which must end the request at once and start nothing.
TEST_F(ProgramClose, DuringTheDescriptionRequest)
{
    world.server.Route("POST", kServicePath, [](const testsupport::RecordedRequest&) { return Silence(); });
    world.TakeSnapshot();
    const size_t threadsBefore = ThreadCount();

    auto core = world.MakeCore();
    core->BeginDescriptionRequest();
    ASSERT_TRUE(WaitFor([&] { return world.RequestsFor(kServicePath) >= 1; }, 10s));
    EXPECT_FALSE(core->DescriptionResult()) << "the service has not answered";
    const auto start = std::chrono::steady_clock::now();
    core.reset();
    world.core.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "its attempts would take 4.5 s";

    EXPECT_EQ(world.RequestsFor(kServicePath), 1u) << "no further attempt";
    EXPECT_EQ(world.RequestsFor(kListPath), 0u);
    EXPECT_EQ(world.FileLaunches(0), std::vector<std::string>{});
    EXPECT_EQ(world.ChangesOutside(), std::vector<std::string>{});
    EXPECT_TRUE(enginetest::WaitUntil([&] { return ThreadCount() <= threadsBefore; }, 5s));
}

// An answer that trickles in never falls silent long enough for the receive time-out; the request
// must still end within a bound, or the frozen window could not be closed at all.
TEST_F(ProgramClose, DuringADescriptionAnswerThatTricklesIn)
{
    Platform::HttpTimeouts timeouts;
    timeouts.connectMs = timeouts.sendMs = timeouts.receiveMs = 1000;
    Platform::SetHttpTimeoutsForTesting(timeouts);
    // About 30 s for the whole answer, never 1 s of silence.
    world.server.Route("POST", kServicePath, Response::Slow(world.Description().dump(), 1, 200ms));
    world.TakeSnapshot();
    auto core = world.MakeCore();
    const auto start = std::chrono::steady_clock::now();
    const bool described = core->RequestDescription();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_FALSE(described) << "an answer cut off by the limit is no description";
    EXPECT_LT(elapsed, std::chrono::milliseconds(DownloadSystem::FileUpload::RunTimeLimitMs()) + 3s);
    EXPECT_TRUE(enginetest::AnyRecordContains("no answer within"));
    core.reset();
    world.core.reset();
    EXPECT_EQ(world.RequestsFor(kListPath), 0u);
    EXPECT_EQ(world.ChangesOutside(), std::vector<std::string>{});
}

// The exit control posts the log before the program ends; a service that trickles its answer must
// not keep the program from ending.
TEST_F(ProgramClose, AfterALogUploadWhoseAnswerTricklesIn)
{
    Platform::HttpTimeouts timeouts;
    timeouts.connectMs = timeouts.sendMs = timeouts.receiveMs = 1000;
    Platform::SetHttpTimeoutsForTesting(timeouts);
    world.server.Route("POST", kServicePath, Response::Slow(std::string(200, 'k'), 1, 200ms));
    nd::LogMessage("a record to upload", __FILE__, __LINE__);
    auto core = world.MakeCore();
    const auto start = std::chrono::steady_clock::now();
    core->PostLogFile();
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(DownloadSystem::FileUpload::RunTimeLimitMs()) + 3s);
    EXPECT_EQ(world.RequestsFor(kServicePath), 1u);
    EXPECT_TRUE(enginetest::AnyRecordContains("no answer within"));
}

// The exit control during the verification: the log goes out while the run still runs, then the
// process ends and its front-end stops the run.
TEST_F(ProgramClose, DuringTheVerification)
{
    SilentFromListRead(world, 3);
    world.TakeSnapshot();
    const size_t threadsBefore = ThreadCount();
    auto core = world.MakeCore();
    ASSERT_TRUE(core->RequestDescription());
    core->StartDownload();
    ASSERT_TRUE(WaitFor([&] { return world.RequestsFor(kListPath) >= 3; }, 30s));

    const auto start = std::chrono::steady_clock::now();
    core->PostLogFile();
    core.reset();
    world.core.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);

    bool uploaded = false;
    for (const auto& request : world.server.Requests())
        uploaded |=
            request.method == "POST" && request.Header("Method") == "LogErrorInfo" && !request.body.empty();
    EXPECT_TRUE(uploaded);
    EXPECT_TRUE(fs::exists(world.LocalPath("logfile.txt")));
    EXPECT_FALSE(fs::exists(world.dataHome / kRelease / "logfile.gz"));
    EXPECT_EQ(world.FileLaunches(0), std::vector<std::string>{});
    EXPECT_EQ(world.ChangesOutside(), std::vector<std::string>{});
    EXPECT_TRUE(enginetest::WaitUntil([&] { return ThreadCount() <= threadsBefore; }, 5s));
}

// The exit control while the final verification waits for the list (0.6 s a read), and the log
// upload takes 1.2 s: the verification would pass during the upload and start the setup, after the user
// asked to leave. The exit stops the run first (within a second), then the log goes out.
TEST_F(ProgramClose, DuringASlowFinalVerificationStartsNoSetup)
{
    const std::string list = enginetest::FileListText(world.files);
    auto reads = std::make_shared<std::atomic<int>>(0);
    world.server.Route("GET", kListPath,
                       [=](const testsupport::RecordedRequest&)
                       {
                           testsupport::ConnectionContext* connection =
                               testsupport::ConnectionContext::Current();
                           if (reads->fetch_add(1) + 1 >= 3 && connection)
                               connection->lifetime.SleepFor(600ms);
                           return Response::Ok(list);
                       });
    auto uploadArrived = std::make_shared<std::atomic<int64_t>>(0);
    const std::string description = world.Description().dump();
    world.server.Route("POST", kServicePath,
                       [=](const testsupport::RecordedRequest& request)
                       {
                           if (request.Header("Method") != "LogErrorInfo")
                               return Response::Ok(description);
                           int64_t none = 0; // the first attempt's arrival
                           uploadArrived->compare_exchange_strong(
                               none, std::chrono::steady_clock::now().time_since_epoch().count());
                           if (testsupport::ConnectionContext* connection =
                                   testsupport::ConnectionContext::Current())
                               connection->lifetime.SleepFor(1200ms);
                           return Response::Ok("ok");
                       });
    world.TakeSnapshot();
    const size_t threadsBefore = ThreadCount();
    auto core = world.MakeCore();
    ASSERT_TRUE(core->RequestDescription());
    core->StartDownload();
    ASSERT_TRUE(WaitFor([&] { return world.RequestsFor(kListPath) >= 3; }, 30s));

    const auto pressed = std::chrono::steady_clock::now();
    core->PostLogFile();
    EXPECT_TRUE(core->IsFinished()) << "the exit step returns with the run ended";
    ASSERT_NE(uploadArrived->load(), 0) << "the log went out";
    const std::chrono::steady_clock::time_point arrived{
        std::chrono::steady_clock::duration(uploadArrived->load())};
    EXPECT_LT(arrived - pressed, 1s) << "the stop comes first, and promptly";
    std::this_thread::sleep_for(2s); // the verification would have passed by now
    core.reset();
    world.core.reset();

    EXPECT_EQ(world.FileLaunches(0), std::vector<std::string>{});
    EXPECT_EQ(world.RequestsFor(kListPath), 3u) << "no request after the exit";
    EXPECT_EQ(world.ChangesOutside(), std::vector<std::string>{});
    EXPECT_TRUE(enginetest::WaitUntil([&] { return ThreadCount() <= threadsBefore; }, 5s));
}

// The process-wide front-end made first, as the program does (its artwork task is the first to
// ask for it).
class ProcessExit : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DownloadSystem::GetDownloadCore();
        ASSERT_TRUE(world.Open());
        world.ServeRelease();
    }

    FaultWorld world;
};

// The process ends (the window closed) while a run is under way: the process-wide front-end stops
// the run while the statics are destroyed, and the process must still end cleanly. The test's
// server stops first, so that at exit only the program's own threads are left. (The order against
// the TLS library's own clean-up cannot show here, as this binary readies that library when it
// loads; the program's exit test covers it under the sanitizers.)
TEST_F(ProcessExit, DuringARunEndsCleanly)
{
    SlowData(world);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto core = DownloadSystem::GetDownloadCore();
            // The test program's own name holds no release: the run is started by hand.
            auto manager = core->GetDownloadManager();
            if (!manager->RequestDownloadDescription(u"Norvia_3_2_Home"))
                std::_Exit(2);
            manager->StartDownloadRun(nd::StringUtils::FromUtf8(std::string(kRelease) + ".txt"), u"",
                                      nd::StringUtils::FromUtf8(world.program.string()),
                                      nd::StringUtils::FromUtf8(world.dataHome.string()));
            if (!WaitFor([&] { return manager->GetDownloadedBytes() > world.files[0].content.size(); }, 30s))
                std::_Exit(3);
            world.server.Stop();
            if (!manager->IsRunning())
                std::_Exit(4);
            manager.reset();
            core.reset();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace reliability

namespace reliability
{
namespace
{

// Without SSL_CERT_FILE every attempt looks up the built-in CA bundle's path (a static of the
// HTTP layer, made at the first attempt, so destroyed before the front-end at exit). A run left
// retrying at exit, with the process's other clean-ups taking a moment, read it after it was gone
// (AddressSanitizer: heap-use-after-free).
TEST_F(ProcessExit, DuringARunThatRetriesWithTheBuiltInBundle)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto core = DownloadSystem::GetDownloadCore();
            auto manager = core->GetDownloadManager();
            if (!manager->RequestDownloadDescription(u"Norvia_3_2_Home"))
                std::_Exit(2);
            std::atexit([] { std::this_thread::sleep_for(500ms); });
            ::unsetenv("SSL_CERT_FILE"); // the test CA is unknown to the built-in bundle: every attempt fails
            world.server.Stop();
            manager->StartDownloadRun(nd::StringUtils::FromUtf8(std::string(kRelease) + ".txt"), u"",
                                      nd::StringUtils::FromUtf8(world.program.string()),
                                      nd::StringUtils::FromUtf8(world.dataHome.string()));
            const auto attempts = []
            {
                size_t count = 0;
                for (const auto& record : nd::GetLogRecords())
                    count += record["message"].get<std::string>().rfind("Opening connection: ", 0) == 0;
                return count;
            };
            if (!WaitFor([&] { return attempts() >= 2; }, 30s)) // the first attempt failed, a second began
                std::_Exit(3);
            manager.reset();
            core.reset();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace reliability
