// End to end: the built program, placed in a fresh folder under a release file name, runs under
// its own Xvfb against the demo services and must end as a real run does: every file verified
// under its local name, the setup handed to the desktop opener, the program gone.

#include "ProgramRun.h"

#include "demo_services/DemoRelease.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using e2e::FindOnPath;
using e2e::Lines;
using e2e::ReadText;

namespace
{

class DownloadRun : public e2e::ProgramRun
{
  protected:
    DownloadRun() : ProgramRun(true) {}

    void StartProgram(const std::string& fileName) override
    {
        PlaceProgram(fileName, NORVIA_PROGRAM_FILE);
        auto environment = ProgramEnvironment();
        environment["SSL_CERT_FILE"] = ready["NORVIA_DEMO_CA_FILE"];
        environment["XDG_DATA_HOME"] = (work / "data").string();
        environment["LIBGL_ALWAYS_SOFTWARE"] = "1";
        ASSERT_TRUE(program.Start({programFile.string()}, environment, (work / "program.out").string(),
                                  folder.string()));
    }
};

} // namespace

TEST_F(DownloadRun, FreshReleaseIsFetchedVerifiedAndItsSetupLaunched)
{
    ASSERT_NO_FATAL_FAILURE(StartRun("Norvia_3_2_Home_Download"));
    ASSERT_NO_FATAL_FAILURE(ExpectCleanExit());
    ExpectVerifiedFiles();

    // Exactly one launch: the setup under its local name, from the program's folder.
    const auto launched = Lines(launches);
    ASSERT_EQ(launched.size(), 1u) << Diagnostics();
    EXPECT_EQ(launched[0], folder.string() + "\t" + (folder / "Setup_NRV32.exe").string());

    // Signed storage paths were accepted every time, the artwork was fetched, and a clean run
    // quits without uploading its log.
    EXPECT_EQ(CountRequests("RequestDownload Norvia_3_2_Home"), 1u) << Diagnostics();
    EXPECT_EQ(CountRequests("-> 403"), 0u) << Diagnostics();
    EXPECT_GE(CountRequests("file list"), 4u) << "two reads per pass, two for the verification";
    EXPECT_EQ(CountRequests("/images/"), 4u) << Diagnostics();
    EXPECT_EQ(CountRequests("LogErrorInfo"), 0u);
}

TEST_F(DownloadRun, QuerySignatureStorageDeliversTheSameRelease)
{
    ASSERT_NO_FATAL_FAILURE(StartRun("Norvia_3_2_Home_Download", {"--unsigned"}));
    ASSERT_NO_FATAL_FAILURE(ExpectCleanExit());
    ExpectVerifiedFiles();
    EXPECT_EQ(Lines(launches).size(), 1u) << Diagnostics();
    EXPECT_EQ(CountRequests("storage storage.localhost"), CountRequests("sig=")) << Diagnostics();
    EXPECT_EQ(CountRequests("-> 403"), 0u) << Diagnostics();
}

TEST_F(DownloadRun, UnknownReleaseShowsSupportAndExitUploadsTheLog)
{
    ASSERT_NO_FATAL_FAILURE(StartRun("Norvia_3_9_Unknown_Download"));
    // The program stays on its support screen; the article is opened through the desktop.
    WaitUntil([&] { return !Lines(launches).empty(); }, 120s);
    const auto launched = Lines(launches);
    ASSERT_EQ(launched.size(), 1u) << Diagnostics();
    EXPECT_NE(
        launched[0].find("\thttps://" + ready["NORVIA_SUPPORT_HOST"] + "/help/download-manager-not-working"),
        std::string::npos)
        << launched[0];
    EXPECT_TRUE(program.Running()) << "the support screen waits for the user" << Diagnostics();
    EXPECT_EQ(CountRequests("unknown release"), 1u) << Diagnostics();
    EXPECT_EQ(CountRequests("storage "), 0u) << "nothing is downloaded" << Diagnostics();
    EXPECT_FALSE(fs::exists(folder / "Setup_NRV32.exe"));

    // Leaving through the exit control uploads the log, then the program ends.
    const auto xdotool = FindOnPath("xdotool");
    if (!xdotool)
    {
        GTEST_SKIP() << "xdotool is missing; scripts/install-deps.sh installs it";
    }
    std::this_thread::sleep_for(3s); // the screen fades in before it takes clicks
    PressExitGlyph(*xdotool);
    const auto status = program.Wait(60s);
    ASSERT_TRUE(status) << "the exit control did not end the program" << Diagnostics();
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(CountRequests("LogErrorInfo stored"), 1u) << Diagnostics();
    const std::string decoded = ReadText(work / "uploads" / "log-1.json");
    EXPECT_NE(decoded.find("\"records\""), std::string::npos) << "the upload is a gzip of the JSON records";
    EXPECT_TRUE(fs::exists(folder / "logfile.txt"));
}

TEST_F(DownloadRun, DamagedStorageFileIsRetriedAndNeverLaunched)
{
    ASSERT_NO_FATAL_FAILURE(StartRun("Norvia_3_2_Home_Download", {"--damage", "Setup-1b.bin"}));
    // Seven passes of four attempts each, then the download-error screen, which waits for the user.
    WaitUntil([&] { return CountRequests("Setup-1b.bin") >= 28; }, 240s);
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(CountRequests("Setup-1b.bin"), 28u) << Diagnostics();
    EXPECT_TRUE(program.Running()) << "the error screen waits for the user" << Diagnostics();
    const auto launched = Lines(launches);
    // Only the support article may have been opened; the setup never.
    for (const std::string& line : launched)
    {
        EXPECT_EQ(line.find("Setup_NRV32.exe"), std::string::npos) << line;
    }
    // Files before the damaged one were kept intact.
    EXPECT_EQ(demo::FileCrc32(folder / "Setup_NRV32-1a.bin"),
              demo::ParseFileList(ReadText(ready["NORVIA_DEMO_FILE_LIST"]))[1].crc);
}
