// End to end on Windows: the Windows build of the program runs under wine, in the test prefix
// with the demo services' certificate authority trusted there and their names resolvable, and must
// end as a real run on Windows does: the files verified, the setup started through ShellExecute.

#include "ProgramRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using e2e::FindOnPath;
using e2e::Lines;
using e2e::ReadText;

namespace
{

// The drive wine maps the Linux root to, so a Linux path in the form a Windows program sees it.
std::string WinePath(const fs::path& path)
{
    std::string text = "Z:" + path.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

class DownloadRun : public e2e::ProgramRun
{
protected:
    // Missing wine, Xvfb or a Windows build is a failure here, never a skip.
    DownloadRun() : ProgramRun(false) {}

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ProgramRun::SetUp());
        const char* configured = std::getenv("WINEPREFIX");
        ASSERT_TRUE(configured != nullptr && fs::exists(configured)) << "no wine prefix (WINEPREFIX)";
        prefix = configured;
        for (const char* file :
             {NORVIA_WINDOWS_PROGRAM_FILE, NORVIA_WINDOWS_SETUP_FILE, NORVIA_WINE_TRUST_FILE})
        {
            ASSERT_TRUE(fs::exists(file)) << file << " is missing: the Windows build was not made";
        }
    }

    void TearDown() override
    {
        // What the run left in the prefix (a file browser, a started setup) ends with its server,
        // before the display goes.
        program.Stop();
        if (dpi != 96)
            SetDpi(96);
        StopWineServer();
        ProgramRun::TearDown();
    }

    // A session started without this run's display (by the making of the prefix, by an earlier
    // run) would give the program a headless desktop of 1024 x 768: no window can be made there,
    // or the window is clamped and the cursor held inside it.
    void StopWineServer()
    {
        const auto wineserver = FindOnPath("wineserver");
        ASSERT_TRUE(wineserver) << "wine is missing; scripts/install-deps.sh installs it";
        for (const char* step : {"-k", "-w"})
        {
            e2e::ChildProcess server;
            ASSERT_TRUE(
                server.Start({*wineserver, step}, WineEnvironment(), (work / "wineserver.out").string()));
            server.Wait(30s);
        }
    }

    // The scripts add wine's own settings (no diagnostics, no prompts). Wine prefers its built-in
    // DLLs; for the planted names it is told to prefer a DLL found beside the program, which is
    // Windows' own order.
    std::map<std::string, std::string> WineEnvironment()
    {
        auto environment = ProgramEnvironment();
        environment["WINEPREFIX"] = prefix.string();
        std::string overrides;
        for (const std::string& name : plantedDlls)
        {
            overrides += (overrides.empty() ? "" : ",") + name;
        }
        if (!overrides.empty())
        {
            environment["WINEDLLOVERRIDES"] = overrides + "=n,b";
        }
        return environment;
    }

    void StartProgram(const std::string& fileName) override
    {
        // This run's authority, in the prefix's own ROOT store; the services' names on loopback in
        // the launcher's private hosts file.
        StopWineServer();
        e2e::ChildProcess trust;
        ASSERT_TRUE(trust.Start({NORVIA_WINE_PREFIX_SCRIPT, prefix.string(), NORVIA_WINE_TRUST_FILE,
                                 ready["NORVIA_DEMO_CA_FILE"]},
                                WineEnvironment(), (work / "trust.out").string()));
        ASSERT_EQ(trust.Wait(120s), 0) << ReadText(work / "trust.out");
        hosts = work / "hosts";
        std::ofstream(hosts) << "127.0.0.1 localhost " << ready["NORVIA_DEMO_HOST_NAMES"] << "\n";

        if (dpi != 96)
            SetDpi(dpi);
        PlaceProgram(fileName, NORVIA_WINDOWS_PROGRAM_FILE);
        for (const std::string& name : plantedDlls)
        {
            ASSERT_TRUE(fs::copy_file(NORVIA_PLANTED_DLL_FILE, folder / (name + ".dll")));
        }
        ASSERT_TRUE(program.Start({NORVIA_WINE_RUN_SCRIPT, "--hosts", hosts.string(), programFile.string()},
                                  WineEnvironment(), (work / "program.out").string(), folder.string()));
    }

    // The marker the started setup writes beside itself, once its last line is there (the file
    // exists before its text: read at once, it was empty now and then).
    std::string WaitForSetupMarker()
    {
        const fs::path marker = folder / "setup-started.txt";
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        std::string text;
        while ((text = ReadText(marker)).find("command line: ") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline)
        {
            std::this_thread::sleep_for(100ms);
        }
        return text;
    }

    // A wine file browser showing the folder itself (not a file in it), as "explore" starts one.
    bool FileBrowserShows(const fs::path& shown)
    {
        for (const auto& entry : fs::directory_iterator("/proc"))
        {
            const std::string command = ReadText(entry.path() / "cmdline");
            const size_t at = command.find(WinePath(shown));
            if (command.find("explorer.exe") != std::string::npos && at != std::string::npos &&
                command.find(".exe", at) == std::string::npos)
            {
                return true;
            }
        }
        return false;
    }

    // Wine's system dpi, the display scale of the prefix's programs; a test that changes it sets it back.
    void SetDpi(int value)
    {
        e2e::ChildProcess reg;
        ASSERT_TRUE(reg.Start({"/usr/bin/env", "wine", "reg", "add", "HKCU\\Control Panel\\Desktop", "/v",
                               "LogPixels", "/t", "REG_DWORD", "/d", std::to_string(value), "/f"},
                              WineEnvironment(), (work / "dpi.out").string()));
        ASSERT_EQ(reg.Wait(60s), 0) << ReadText(work / "dpi.out");
        // The server reg started lingers and keeps the change unsaved; a run that met it failed on
        // the prefix's trust now and then. It is awaited to its own end, which saves the registry.
        const auto wineserver = FindOnPath("wineserver");
        ASSERT_TRUE(wineserver);
        e2e::ChildProcess server;
        ASSERT_TRUE(server.Start({*wineserver, "-w"}, WineEnvironment(), (work / "wineserver.out").string()));
        server.Wait(30s);
    }

    fs::path prefix, hosts;
    // Copies of the planted DLL placed beside the program under these names (without ".dll").
    std::vector<std::string> plantedDlls;
    int dpi = 96;
};

} // namespace

TEST_F(DownloadRun, FreshReleaseIsFetchedVerifiedAndItsSetupStarted)
{
    ASSERT_NO_FATAL_FAILURE(
        StartRun("Norvia_3_2_Home_Download.exe", {"--setup-program", NORVIA_WINDOWS_SETUP_FILE}));
    ASSERT_NO_FATAL_FAILURE(ExpectCleanExit());
    ExpectVerifiedFiles();

    // The setup itself ran: under its local name, in the program's folder, as its marker says.
    const std::string started = WaitForSetupMarker();
    EXPECT_NE(started.find("setup: " + WinePath(folder / "Setup_NRV32.exe") + "\r\n"), std::string::npos)
        << started << Diagnostics();
    EXPECT_NE(started.find("working folder: " + WinePath(folder) + "\r\n"), std::string::npos) << started;
    EXPECT_TRUE(Lines(launches).empty()) << "nothing else was opened" << Diagnostics();
    EXPECT_EQ(CountRequests("-> 403"), 0u) << Diagnostics();
    EXPECT_EQ(CountRequests("LogErrorInfo"), 0u) << "a clean run quits without uploading";
}

// Users start the program from their downloads folder, where a page may have left DLLs named like
// the ones the program, its libraries or the system load.
TEST_F(DownloadRun, DllsLeftBesideTheProgramAreNeverLoaded)
{
    plantedDlls = {"version", "dinput8", "xinput1_4", "xinput9_1_0", "dwmapi",
                   "uxtheme", "winmm",   "dbghelp",   "opengl32",    "wininet"};
    ASSERT_NO_FATAL_FAILURE(
        StartRun("Norvia_3_2_Home_Download.exe", {"--setup-program", NORVIA_WINDOWS_SETUP_FILE}));
    ASSERT_NO_FATAL_FAILURE(ExpectCleanExit());
    ExpectVerifiedFiles();
    EXPECT_NE(WaitForSetupMarker().find("Setup_NRV32.exe"), std::string::npos) << Diagnostics();
    const fs::path loaded = folder / "planted-dlls-loaded.txt";
    EXPECT_FALSE(fs::exists(loaded)) << ReadText(loaded);

    // The planted copies do announce themselves when a process loads one from there (by a name
    // that process has not loaded yet: wine hands out a loaded module of the same name instead).
    e2e::ChildProcess loader;
    ASSERT_TRUE(loader.Start({NORVIA_WINE_RUN_SCRIPT, "regsvr32", "/s", WinePath(folder / "xinput9_1_0.dll")},
                             WineEnvironment(), (work / "regsvr32.out").string()));
    loader.Wait(60s);
    EXPECT_NE(ReadText(loaded).find("xinput9_1_0.dll loaded by"), std::string::npos)
        << ReadText(work / "regsvr32.out");
}

TEST_F(DownloadRun, ExitControlUploadsTheLog)
{
    ASSERT_NO_FATAL_FAILURE(StartRun("Norvia_3_9_Unknown_Download.exe"));
    // The support screen: the article goes through ShellExecute to wine's browser launcher, which
    // hands it to the recording opener.
    ASSERT_TRUE(WaitUntil([&] { return !Lines(launches).empty(); }, 120s)) << Diagnostics();
    EXPECT_EQ(CountRequests("unknown release"), 1u) << Diagnostics();
    const auto xdotool = FindOnPath("xdotool");
    ASSERT_TRUE(xdotool) << "xdotool is missing; scripts/install-deps.sh installs it";
    std::this_thread::sleep_for(4s); // the screen fades in before it takes clicks
    PressExitGlyph(*xdotool);
    const auto status = program.Wait(60s);
    ASSERT_TRUE(status) << "the exit control did not end the program" << Diagnostics();
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(CountRequests("LogErrorInfo stored"), 1u) << Diagnostics();
    EXPECT_NE(ReadText(work / "uploads" / "log-1.json").find("\"records\""), std::string::npos);
    EXPECT_TRUE(fs::exists(folder / "logfile.txt"));
}

TEST_F(DownloadRun, WindowAtTwoHundredPercentScalingIsTwiceTheDesignSize)
{
    // Changing the prefix's dpi has left the next runs of the same prefix failing now and then
    // (its trust, or a splash that never goes on): until that is understood, this run is asked for.
    if (std::getenv("NORVIA_WINE_SCALE_TEST") == nullptr)
        GTEST_SKIP() << "set NORVIA_WINE_SCALE_TEST=1 to run the Windows program at 200 % scaling";
    dpi = 192;
    screen = "2560x1600x24";
    ASSERT_NO_FATAL_FAILURE(StartRun("Norvia_3_2_Home_Download.exe"));
    const fs::path geometry = work / "geometry.out";
    auto environment = e2e::ChildProcess::CurrentEnvironment();
    environment["DISPLAY"] = displayName;
    const auto centred = [&]
    {
        e2e::ChildProcess look;
        fs::remove(geometry); // the output is appended to
        return look.Start({"/usr/bin/env", "xdotool", "search", "--name", "Norvia Download Manager",
                           "getwindowgeometry", "%1"},
                          environment, geometry.string()) &&
               look.Wait(20s) == 0 &&
               ReadText(geometry).find("80,160 (screen: 0)\n  Geometry: 2400x1280") != std::string::npos;
    };
    EXPECT_TRUE(WaitUntil(centred, 120s)) << ReadText(geometry) << Diagnostics();
}

TEST_F(DownloadRun, SetupThatCannotStartShowsTheMessageThenExploresItsFolder)
{
    // The generated Setup.exe is no program: ShellExecute refuses it (wine answers 11).
    ASSERT_NO_FATAL_FAILURE(StartRun("Norvia_3_2_Home_Download.exe"));
    ASSERT_TRUE(WaitUntil([&] { return FileBrowserShows(folder); }, 120s))
        << "the setup's folder was not explored" << Diagnostics();
    ExpectVerifiedFiles();
    EXPECT_TRUE(program.Running()) << "the message waits for the user" << Diagnostics();

    const auto xdotool = FindOnPath("xdotool");
    ASSERT_TRUE(xdotool) << "xdotool is missing; scripts/install-deps.sh installs it";
    std::this_thread::sleep_for(2s);
    PressExitGlyph(*xdotool);
    ASSERT_TRUE(program.Wait(60s)) << Diagnostics();
    // The uploaded log carries the message with the folder and the setup's name.
    const std::string log = ReadText(work / "uploads" / "log-1.json");
    EXPECT_NE(log.find("Unable to start setup. You can start it manually by executing the file"),
              std::string::npos)
        << log << Diagnostics();
    EXPECT_NE(log.find("Setup_NRV32.exe"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(folder / "setup-started.txt"));
}
