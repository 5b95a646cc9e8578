// Faults of the disk under the program's folder: it fills up during a download, it is read-only,
// a file vanishes or changes between its download and the verification. Space and write access
// come from small tmpfs mounts in a mount namespace of this test process; where mounting is not
// allowed, a file-size limit (for the full disk) or the folder's mode (read-only, when not root)
// stands in.

#include "FaultWorld.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace reliability
{
namespace
{

constexpr const char* kAttemptsMessage = "Maximum download attempts exceeded";
constexpr const char* kDataPath = "/rel/Files/Setup-1a.bin";

// Made once before main, while the process has a single thread: a private mount namespace, so
// that the mounts of these tests are seen by no one else and vanish with the process.
const bool kPrivateMounts = []
{ return ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0; }();

// A tmpfs of the given size over folder, unmounted when the object goes. Valid() tells whether
// the mount was made.
class TmpfsMount
{
public:
    TmpfsMount(const fs::path& folder, const std::string& size) : folder(folder)
    {
        mounted =
            kPrivateMounts && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~TmpfsMount()
    {
        if (mounted)
            ::umount2(folder.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool Valid() const { return mounted; }
    bool MakeReadOnly() const
    {
        return ::mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    fs::path folder;
    bool mounted = false;
};

// Files may grow to limit bytes while the object lives; writes beyond fail with EFBIG instead of
// raising SIGXFSZ. Only the soft limit changes, so it can be put back.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved;
        lowered.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved{};
    void (*previousHandler)(int) = SIG_DFL;
};

class DiskFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(world.Open());
        world.ServeRelease();
    }

    // After the release was served: the list route that runs action before the given read.
    void BeforeListRead(int readNumber, std::function<void(FaultWorld&)> action, bool everyPass = false)
    {
        auto reads = std::make_shared<std::atomic<int>>(0);
        const std::string text = enginetest::FileListText(world.files);
        FaultWorld* target = &world;
        world.server.Route("GET", kListPath,
                           [=](const testsupport::RecordedRequest&)
                           {
                               const int read = reads->fetch_add(1) + 1;
                               // A pass reads the list twice and its verification twice more.
                               if (read == readNumber || (everyPass && read % 4 == readNumber % 4))
                                   action(*target);
                               return Response::Ok(text);
                           });
    }

    void Judge(const Scenario& scenario)
    {
        const RunResult result = world.RunProgram(std::chrono::milliseconds(scenario.bound));
        ExpectEnd(world, scenario, result);
    }

    FaultWorld world;
};

void ExpectAttemptsEnd(FaultWorld& world)
{
    EXPECT_TRUE(world.SupportArticleOpened());
    EXPECT_TRUE(AnyRecordWith(kAttemptsMessage, nd::kErrorMaxAttemptsExceeded));
}

TEST_F(DiskFaults, DiskFillsUpDuringADownload)
{
    // Room for the setup (48 KiB) but not for the data file beside it, whose 1 MiB would take
    // several writes of the part file.
    world.files[1].content = Pattern(1 << 20, 12);
    world.ServeRelease();
    TmpfsMount disk(world.program, "64k");
    std::unique_ptr<FileSizeLimit> limit;
    int expectedError = ENOSPC;
    if (!disk.Valid())
    {
        limit = std::make_unique<FileSizeLimit>(64 * 1024);
        expectedError = EFBIG;
    }
    Judge(Scenario("DiskFull", End::ErrorNoSetup, nullptr).Records({kAttemptsMessage}));
    EXPECT_TRUE(AnyRecordWith("Couldn't write part file", expectedError));
    // The first failed write ends its attempt: one record each, not one per write.
    EXPECT_EQ(enginetest::RecordsStartingWith("Couldn't write part file"), world.RequestsFor(kDataPath));
    ExpectAttemptsEnd(world);
}

TEST_F(DiskFaults, ReadOnlyFolderCannotTakeTheFiles)
{
    TmpfsMount disk(world.program, "1m");
    const bool byMode = !disk.Valid();
    if (!byMode)
        ASSERT_TRUE(disk.MakeReadOnly());
    else if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into any folder and no read-only mount can be made here";
    else
        fs::permissions(world.program, fs::perms::owner_read | fs::perms::owner_exec);

    Judge(Scenario("ReadOnly", End::ErrorNoSetup, nullptr)
              .Records({"Couldn't create part file: ", kAttemptsMessage}));
    ExpectAttemptsEnd(world);
    EXPECT_EQ(world.RequestsFor("/rel/Files/Setup.exe"), 7u) << "one refused attempt per pass";
    if (byMode)
        fs::permissions(world.program, fs::perms::owner_all);
}

TEST_F(DiskFaults, ReadOnlyFolderHoldingTheWholeReleaseStillStartsTheSetup)
{
    TmpfsMount disk(world.program, "1m");
    if (!disk.Valid())
        GTEST_SKIP() << "no tmpfs can be mounted here";
    enginetest::WriteFileText(world.LocalPath("Setup_ABC.exe"), world.files[0].content);
    enginetest::WriteFileText(world.LocalPath("Setup_ABC-1a.bin"), world.files[1].content);
    ASSERT_TRUE(disk.MakeReadOnly());

    Judge(Scenario("ReadOnlyComplete", End::SetupLaunched, nullptr).Within(30s));
    EXPECT_EQ(world.RequestsFor(kDataPath), 0u);
}

TEST_F(DiskFaults, FileDeletedBeforeItsVerificationIsFetchedAgain)
{
    BeforeListRead(3, [](FaultWorld& w) { fs::remove(w.LocalPath("Setup_ABC-1a.bin")); });
    Judge(Scenario("Deleted", End::SetupLaunched, nullptr).Within(30s));
    EXPECT_EQ(world.RequestsFor(kDataPath), 2u);
    EXPECT_EQ(world.RequestsFor("/rel/Files/Setup.exe"), 1u) << "the file left in place is kept";
}

TEST_F(DiskFaults, FileChangedBeforeItsVerificationIsReplaced)
{
    BeforeListRead(3, [](FaultWorld& w)
                   { enginetest::WriteFileText(w.LocalPath("Setup_ABC.exe"), "tampered"); });
    Judge(Scenario("Changed", End::SetupLaunched, nullptr)
              .Records({"CheckFileFromCRCInfo CRC is not correct: ",
                        "The download contained errors, but they seem to be resolved. Starting setup"})
              .Within(30s));
    EXPECT_EQ(world.RequestsFor("/rel/Files/Setup.exe"), 2u);
}

TEST_F(DiskFaults, FileDeletedBeforeEveryVerificationEndsTheRun)
{
    BeforeListRead(
        3, [](FaultWorld& w) { fs::remove(w.LocalPath("Setup_ABC-1a.bin")); }, true);
    Judge(Scenario("DeletedAlways", End::ErrorNoSetup, nullptr)
              .Records({"it could be that the files are removed from disk after writing"}));
    ExpectAttemptsEnd(world);
    EXPECT_EQ(world.RequestsFor(kDataPath), 7u);
}

} // namespace
} // namespace reliability

namespace reliability
{
namespace
{

size_t LogUploads(FaultWorld& world)
{
    size_t uploads = 0;
    for (const auto& request : world.server.Requests())
        uploads += request.method == "POST" && request.Header("Method") == "LogErrorInfo";
    return uploads;
}

// Only a whole log goes out: one cut short by a full disk is no log, and a logfile.gz an earlier
// run left behind (here in a folder that turned read-only) is never sent in place of this one's.
TEST_F(DiskFaults, LogThatCannotBeWrittenWholeIsNotUploaded)
{
    const fs::path dataFolder = world.dataHome / kRelease;
    fs::create_directories(dataFolder);
    for (int i = 0; i < 64; ++i) // about 64 KiB that do not compress
    {
        std::string noise;
        for (char c : Pattern(512, 100 + i))
            noise += "0123456789abcdef"[static_cast<uint8_t>(c) & 15];
        nd::LogMessage("record " + noise, __FILE__, __LINE__);
    }
    auto core = world.MakeCore();
    enginetest::WriteFileText(dataFolder / "logfile.gz", "an earlier run's log");
    {
        const FileSizeLimit limit(4096);
        core->PostLogFile();
    }
    EXPECT_EQ(LogUploads(world), 0u) << "a log cut at 4 KiB went out";
    EXPECT_FALSE(fs::exists(dataFolder / "logfile.gz"));

    TmpfsMount disk(dataFolder, "1m");
    if (!disk.Valid())
        GTEST_SKIP() << "no tmpfs can be mounted here";
    enginetest::WriteFileText(dataFolder / "logfile.gz", "an earlier run's log");
    ASSERT_TRUE(disk.MakeReadOnly());
    core->PostLogFile();
    EXPECT_EQ(LogUploads(world), 0u) << "the earlier run's log went out";
}

} // namespace
} // namespace reliability
