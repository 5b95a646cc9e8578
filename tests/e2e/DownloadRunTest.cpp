// End to end: the built program, placed in a fresh folder under a release file name, runs under
// its own Xvfb against the demo services and must end as a real run does: every file verified
// under its local name, the setup handed to the desktop opener, the program gone.

#include "ChildProcess.h"

#include "demo_services/DemoRelease.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const fs::path& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
    {
        lines.push_back(line);
    }
    return lines;
}

// KEY='value' lines as the services write them (single quotes, ' written as '\'').
std::map<std::string, std::string> ReadReadyFile(const fs::path& path)
{
    std::map<std::string, std::string> values;
    for (const std::string& line : Lines(path))
    {
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
        {
            continue;
        }
        std::string raw = line.substr(equals + 1), value;
        bool quoted = false;
        for (size_t i = 0; i < raw.size(); ++i)
        {
            if (raw[i] == '\'')
                quoted = !quoted;
            else if (raw[i] == '\\' && !quoted && i + 1 < raw.size())
                value += raw[++i];
            else
                value += raw[i];
        }
        values[line.substr(0, equals)] = value;
    }
    return values;
}

std::optional<std::string> FindOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    size_t from = 0;
    while (from <= folders.size())
    {
        const size_t end = std::min(folders.find(':', from), folders.size());
        const fs::path candidate = fs::path(folders.substr(from, end - from)) / name;
        if (::access(candidate.c_str(), X_OK) == 0)
        {
            return candidate.string();
        }
        from = end + 1;
    }
    return std::nullopt;
}

class DownloadRun : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        xvfb = FindOnPath("Xvfb");
        if (!xvfb)
        {
            GTEST_SKIP() << "Xvfb is missing; scripts/install-deps.sh installs it";
        }
        work = fs::temp_directory_path() / ("norvia_e2e_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(work);
        fs::create_directories(work / "bin");
        // The per-user data folder (XDG_DATA_HOME) exists on a desktop; the program adds its own folder
        // inside.
        fs::create_directories(work / "data");
        launches = work / "launches.txt";
        // Records what the program hands to the desktop instead of opening it.
        const fs::path opener = work / "bin" / "xdg-open";
        std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\t%s\\n' \"$(pwd -P)\" \"$*\" >> '"
                              << launches.string() << "'\n";
        fs::permissions(opener, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    }

    void TearDown() override
    {
        program.Stop();
        services.Stop();
        display.Stop();
        if (!HasFailure() && !work.empty())
        {
            fs::remove_all(work);
        }
        else if (!work.empty())
        {
            std::cout << "kept for inspection: " << work << "\n";
        }
    }

    // Small release, fast storage: the run takes seconds, not minutes.
    void StartServices(const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args = {NORVIA_DEMO_SERVICES_FILE,
                                         "--dir",
                                         (work / "services").string(),
                                         "--ready-file",
                                         (work / "ready.env").string(),
                                         "--request-log",
                                         (work / "requests.log").string(),
                                         "--uploads",
                                         (work / "uploads").string(),
                                         "--files",
                                         "3",
                                         "--file-size",
                                         "300K",
                                         "--setup-size",
                                         "40K",
                                         "--max-seconds",
                                         "900"};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_TRUE(
            services.Start(args, e2e::ChildProcess::CurrentEnvironment(), (work / "services.out").string()));
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!fs::exists(work / "ready.env") && std::chrono::steady_clock::now() < deadline &&
               services.Running())
        {
            std::this_thread::sleep_for(50ms);
            services.Wait(0ms);
        }
        ASSERT_TRUE(fs::exists(work / "ready.env")) << ReadText(work / "services.out");
        ready = ReadReadyFile(work / "ready.env");
        ASSERT_FALSE(ready["NORVIA_SERVICE_HOST"].empty());
    }

    void StartDisplay()
    {
        for (int number = 100 + ::getpid() % 300, tries = 0; tries < 40; ++number, ++tries)
        {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
            if (fs::exists(socket) || fs::exists("/tmp/.X" + std::to_string(number) + "-lock"))
            {
                continue;
            }
            display.Start(
                {*xvfb, ":" + std::to_string(number), "-screen", "0", "1280x800x24", "-nolisten", "tcp"},
                e2e::ChildProcess::CurrentEnvironment(), (work / "xvfb.out").string());
            const auto deadline = std::chrono::steady_clock::now() + 15s;
            while (display.Running() && !fs::exists(socket) && std::chrono::steady_clock::now() < deadline)
            {
                std::this_thread::sleep_for(50ms);
                display.Wait(0ms);
            }
            if (display.Running() && fs::exists(socket))
            {
                displayName = ":" + std::to_string(number);
                return;
            }
            display.Stop(); // lost a race for this number: try the next
        }
        FAIL() << "no Xvfb display could be started: " << ReadText(work / "xvfb.out");
    }

    // Copies the program into a fresh folder under the given file name and starts it there.
    void StartProgram(const std::string& fileName)
    {
        folder = work / fileName.substr(0, fileName.rfind('_'));
        fs::create_directories(folder);
        programFile = folder / fileName;
        fs::copy_file(NORVIA_PROGRAM_FILE, programFile);
        fs::permissions(programFile, fs::perms::owner_all);
        auto environment = e2e::ChildProcess::CurrentEnvironment();
        environment.erase("WAYLAND_DISPLAY");
        environment["DISPLAY"] = displayName;
        environment["NORVIA_SERVICE_HOST"] = ready["NORVIA_SERVICE_HOST"];
        environment["NORVIA_CONTENT_HOST"] = ready["NORVIA_CONTENT_HOST"];
        environment["NORVIA_SUPPORT_HOST"] = ready["NORVIA_SUPPORT_HOST"];
        environment["SSL_CERT_FILE"] = ready["NORVIA_DEMO_CA_FILE"];
        environment["PATH"] = (work / "bin").string() + ":" + environment["PATH"];
        environment["XDG_DATA_HOME"] = (work / "data").string();
        environment["LIBGL_ALWAYS_SOFTWARE"] = "1";
        ASSERT_TRUE(program.Start({programFile.string()}, environment, (work / "program.out").string(),
                                  folder.string()));
    }

    // Services (with `extra` options), a display, then the program under `fileName`; each only
    // when the one before came up.
    void StartRun(const std::string& fileName, const std::vector<std::string>& extra = {})
    {
        ASSERT_NO_FATAL_FAILURE(StartServices(extra));
        ASSERT_NO_FATAL_FAILURE(StartDisplay());
        StartProgram(fileName);
    }

    // Waits for the program to end on its own, with exit status 0.
    void ExpectCleanExit()
    {
        const auto status = program.Wait(180s);
        ASSERT_TRUE(status) << "the program did not end" << Diagnostics();
        EXPECT_EQ(*status, 0) << Diagnostics();
    }

    std::string Diagnostics()
    {
        return "\n--- program output\n" + ReadText(work / "program.out") + "\n--- requests\n" +
               ReadText(work / "requests.log") + "\n--- launches\n" + ReadText(launches);
    }

    // Every file of the release lies in the program's folder under its local name, intact.
    void ExpectVerifiedFiles()
    {
        const auto listed = demo::ParseFileList(ReadText(ready["NORVIA_DEMO_FILE_LIST"]));
        ASSERT_FALSE(listed.empty());
        for (const auto& file : listed)
        {
            const fs::path local = folder / demo::LocalFileName(file.name, ready["NORVIA_DEMO_PRODUCT_CODE"]);
            ASSERT_TRUE(fs::exists(local)) << local << Diagnostics();
            EXPECT_EQ(fs::file_size(local), file.size) << local;
            EXPECT_EQ(demo::FileCrc32(local), file.crc) << local;
        }
    }

    // A click on the title bar's exit glyph, near the top right corner of the 1200-pixel window.
    void PressExitGlyph(const std::string& xdotool)
    {
        e2e::ChildProcess click;
        auto environment = e2e::ChildProcess::CurrentEnvironment();
        environment["DISPLAY"] = displayName;
        ASSERT_TRUE(click.Start({xdotool, "search", "--name", "Norvia Download Manager", "mousemove",
                                 "--window", "%1", "1184", "18", "sleep", "0.3", "mousedown", "1", "sleep",
                                 "0.3", "mouseup", "1"},
                                environment, (work / "xdotool.out").string()));
        EXPECT_EQ(click.Wait(30s), 0) << ReadText(work / "xdotool.out");
    }

    size_t CountRequests(const std::string& fragment)
    {
        size_t count = 0;
        for (const std::string& line : Lines(work / "requests.log"))
        {
            count += line.find(fragment) != std::string::npos ? 1 : 0;
        }
        return count;
    }

    std::optional<std::string> xvfb;
    fs::path work, launches, folder, programFile;
    std::string displayName;
    std::map<std::string, std::string> ready;
    e2e::ChildProcess services, display, program;
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
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (Lines(launches).empty() && program.Running() && std::chrono::steady_clock::now() < deadline)
    {
        std::this_thread::sleep_for(100ms);
        program.Wait(0ms);
    }
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
    const auto deadline = std::chrono::steady_clock::now() + 240s;
    while (CountRequests("Setup-1b.bin") < 28 && program.Running() &&
           std::chrono::steady_clock::now() < deadline)
    {
        std::this_thread::sleep_for(200ms);
        program.Wait(0ms);
    }
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
