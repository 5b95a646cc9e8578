#include "ProgramRun.h"

#include "demo_services/DemoRelease.h"

#include <unistd.h>

#include <fstream>
#include <iostream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace e2e
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

void ProgramRun::SetUp()
{
    xvfb = FindOnPath("Xvfb");
    if (!xvfb && toolsMayBeMissing)
    {
        GTEST_SKIP() << "Xvfb is missing; scripts/install-deps.sh installs it";
    }
    ASSERT_TRUE(xvfb) << "Xvfb is missing; scripts/install-deps.sh installs it";
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
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\t%s\\n' \"$(pwd -P)\" \"$*\" >> '" << launches.string()
                          << "'\n";
    fs::permissions(opener, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

void ProgramRun::TearDown()
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

void ProgramRun::StartServices(const std::vector<std::string>& extra)
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
    ASSERT_TRUE(services.Start(args, ChildProcess::CurrentEnvironment(), (work / "services.out").string()));
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

void ProgramRun::StartDisplay()
{
    for (int number = 100 + ::getpid() % 300, tries = 0; tries < 40; ++number, ++tries)
    {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (fs::exists(socket) || fs::exists("/tmp/.X" + std::to_string(number) + "-lock"))
        {
            continue;
        }
        display.Start({*xvfb, ":" + std::to_string(number), "-screen", "0", screen, "-nolisten", "tcp"},
                      ChildProcess::CurrentEnvironment(), (work / "xvfb.out").string());
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

void ProgramRun::StartRun(const std::string& fileName, const std::vector<std::string>& extra)
{
    ASSERT_NO_FATAL_FAILURE(StartServices(extra));
    ASSERT_NO_FATAL_FAILURE(StartDisplay());
    StartProgram(fileName);
}

void ProgramRun::PlaceProgram(const std::string& fileName, const fs::path& programSource)
{
    folder = work / fileName.substr(0, fileName.rfind('_'));
    fs::create_directories(folder);
    programFile = folder / fileName;
    fs::copy_file(programSource, programFile);
    fs::permissions(programFile, fs::perms::owner_all);
}

std::map<std::string, std::string> ProgramRun::ProgramEnvironment()
{
    auto environment = ChildProcess::CurrentEnvironment();
    environment.erase("WAYLAND_DISPLAY");
    environment["DISPLAY"] = displayName;
    environment["NORVIA_SERVICE_HOST"] = ready["NORVIA_SERVICE_HOST"];
    environment["NORVIA_CONTENT_HOST"] = ready["NORVIA_CONTENT_HOST"];
    environment["NORVIA_SUPPORT_HOST"] = ready["NORVIA_SUPPORT_HOST"];
    environment["PATH"] = (work / "bin").string() + ":" + environment["PATH"];
    return environment;
}

bool ProgramRun::WaitUntil(const std::function<bool()>& done, std::chrono::seconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done() && program.Running() && std::chrono::steady_clock::now() < deadline)
    {
        std::this_thread::sleep_for(100ms);
        program.Wait(0ms);
    }
    return done();
}

void ProgramRun::ExpectCleanExit()
{
    const auto status = program.Wait(180s);
    ASSERT_TRUE(status) << "the program did not end" << Diagnostics();
    EXPECT_EQ(*status, 0) << Diagnostics();
}

std::string ProgramRun::Diagnostics()
{
    return "\n--- program output\n" + ReadText(work / "program.out") + "\n--- requests\n" +
           ReadText(work / "requests.log") + "\n--- launches\n" + ReadText(launches);
}

void ProgramRun::ExpectVerifiedFiles()
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

void ProgramRun::PressExitGlyph(const std::string& xdotool)
{
    ChildProcess click;
    auto environment = ChildProcess::CurrentEnvironment();
    environment["DISPLAY"] = displayName;
    ASSERT_TRUE(
        click.Start({xdotool, "search", "--name", "Norvia Download Manager", "mousemove", "--window", "%1",
                     "1184", "18", "sleep", "0.3", "mousedown", "1", "sleep", "0.3", "mouseup", "1"},
                    environment, (work / "xdotool.out").string()));
    EXPECT_EQ(click.Wait(30s), 0) << ReadText(work / "xdotool.out");
}

size_t ProgramRun::CountRequests(const std::string& fragment)
{
    size_t count = 0;
    for (const std::string& line : Lines(work / "requests.log"))
    {
        count += line.find(fragment) != std::string::npos ? 1 : 0;
    }
    return count;
}

} // namespace e2e
