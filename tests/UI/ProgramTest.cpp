// The built program on its own Xvfb display against the local HTTPS test server: the splash, the
// window of the progress screen, its artwork, bar and figures, the pause and exit glyphs, the end
// of a download, the error and support screens, and a window that never freezes while a service
// is slow. Screenshots of every screen go to <build>/screenshots/ for looking at.

#include "DesktopSession.h"
#include "TestImages.h"

#include "support/HttpsTestServer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <mutex>

namespace
{

using namespace screentest;
using testsupport::HttpsTestServer;
using testsupport::RecordedRequest;
using testsupport::Response;

constexpr const char* kTitle = "Halden | Norvia Download Manager";
constexpr const char* kViewerTitle = "Halden | Norvia Viewer Download Manager";
// Xvfb's screen is 1920 x 1080, so the centred windows sit here.
constexpr int kWindowX = (1920 - 1200) / 2, kWindowY = (1080 - 640) / 2;
constexpr int kSplashX = (1920 - 340) / 2, kSplashY = (1080 - 60) / 2;

// The build folder: the test binary lives in <build>/tests.
fs::path BuildFolder()
{
    return fs::canonical("/proc/self/exe").parent_path().parent_path();
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Bytes(size_t size, char seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(seed + i * 131 + (i >> 9));
    return bytes;
}

struct ReleaseFile
{
    std::string name;
    std::string body;
    bool slow = false;
};

// The sanitizer builds run the program several times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr auto kPromptEnd = 3s;
#else
constexpr auto kPromptEnd = 1s;
#endif

template <typename Suite> class ProgramRunOn : public Suite
{
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "import"})
            if (!OnPath(tool))
                GTEST_SKIP() << tool << " is missing; scripts/install-deps.sh installs it";
        program = BuildFolder() / "NorviaDownloadManager";
        ASSERT_TRUE(fs::exists(program)) << "build the NorviaDownloadManager target first";
        screenshots = BuildFolder() / "screenshots";
        fs::create_directories(screenshots);
        std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(test.begin(), test.end(), '/', '_');
        work = fs::temp_directory_path() / ("norvia_ui_" + std::to_string(::getpid()) + "_" + test);
        fs::remove_all(work);
        fs::create_directories(work / "bin");
        fs::create_directories(work / "data");
        launches = work / "launches.txt";
        // Records what the program hands to the desktop instead of opening it.
        std::ofstream(work / "bin" / "xdg-open")
            << "#!/bin/sh\necho \"$*\" >> '" << launches.string() << "'\n";
        fs::permissions(work / "bin" / "xdg-open", fs::perms::owner_all);

        std::string error;
        ASSERT_TRUE(display.Start(error)) << error;
        HttpsTestServer::UseTestCa();
        RouteArtwork();
        server.Route("POST", "/Norvia/DownloadManager8.ashx",
                     [this](const RecordedRequest& request) { return Service(request); });
        ASSERT_TRUE(server.Start());
    }

    void TearDown() override
    {
        running.Stop();
        stopping = true;
        server.Stop();
        display.Stop();
        if (!::testing::Test::HasFailure() && !work.empty())
            fs::remove_all(work);
    }

    // Holds a service answer back for the time, or until the test ends.
    void HoldBack(std::chrono::milliseconds time)
    {
        const auto end = std::chrono::steady_clock::now() + time;
        while (!stopping && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(50ms);
    }

    // The content description arrives after a delay, so the splash is on screen long enough to see.
    void RouteArtwork()
    {
        server.Route("GET", "/downloadmanager/3/meta.json",
                     [](const RecordedRequest&)
                     {
                         std::this_thread::sleep_for(2500ms);
                         return Response::Ok(
                             R"({"core": {"logo_background": "https://127.0.0.1/images/band.png"},
                                    "media": {"slide_1": "https://127.0.0.1/images/slide1.png",
                                              "slide_2": "https://127.0.0.1/images/slide2.png"}})");
                     });
        server.Route("GET", "/images/band.png", Response::Ok(SolidPng(600, 300, 30, 60, 80)));
        server.Route("GET", "/images/slide1.png", Response::Ok(SolidPng(601, 640, 150, 40, 40)));
        server.Route("GET", "/images/slide2.png", Response::Ok(SolidPng(601, 640, 40, 130, 60)));
    }

    // Download description (or a failure) and the log upload.
    Response Service(const RecordedRequest& request)
    {
        if (request.Header("Method") == "LogErrorInfo")
        {
            {
                std::lock_guard<std::mutex> hold(uploadLock);
                if (!uploadWindow.empty())
                    viewableAtUpload = Viewable(uploadWindow);
            }
            if (!answerLogs)
                HoldBack(24h);
            return Response::Ok("");
        }
        HoldBack(std::chrono::milliseconds(describeDelayMs.load()));
        if (!describeRelease)
            return Response::Status(500, "down for maintenance");
        return Response::Ok(R"({"product_code": "NRV32", "company_name": "Norvia", "download_subdir": "rel32",
                               "host_name": ")" +
                            server.HostPort() + "\"}");
    }

    void RouteRelease(const std::string& release, const std::vector<ReleaseFile>& files)
    {
        std::string list = "files";
        for (const ReleaseFile& file : files)
        {
            const uint32_t crc = ::crc32(0, reinterpret_cast<const Bytef*>(file.body.data()),
                                         static_cast<uInt>(file.body.size()));
            list += ";" + file.name + "\r\n" + std::to_string(file.body.size()) + "\r\n" +
                    std::to_string(static_cast<int32_t>(crc)) + "\r\n";
            server.Route("GET", "/rel32/" + file.name,
                         file.slow ? Response::Slow(file.body, 8192, 100ms) : Response::Ok(file.body));
            releaseBytes += file.body.size();
        }
        server.Route("GET", "/rel32/" + release + ".txt", Response::Ok(list));
    }

    // A copy of the program under the given file name in a folder of its own, started there.
    void StartProgram(const std::string& fileName)
    {
        folder = work / "release";
        fs::create_directories(folder);
        programCopy = folder / fileName;
        fs::copy_file(program, programCopy);
        fs::permissions(programCopy, fs::perms::owner_all);
        const std::map<std::string, std::string> environment = {
            {"DISPLAY", display.Name()},
            {"NORVIA_SERVICE_HOST", server.HostPort()},
            {"NORVIA_CONTENT_HOST", server.HostPort()},
            {"NORVIA_SUPPORT_HOST", "support.localhost"},
            {"SSL_CERT_FILE", HttpsTestServer::CaFile()},
            {"PATH", (work / "bin").string() + ":" + std::getenv("PATH")},
            {"XDG_DATA_HOME", (work / "data").string()},
            {"LIBGL_ALWAYS_SOFTWARE", "1"},
        };
        ASSERT_TRUE(running.Start(programCopy, environment, work / "program.out"));
    }

    // Bytes in the program's folder besides the program itself: the setup files as they grow.
    uintmax_t DownloadedOnDisk()
    {
        uintmax_t total = 0;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error))
            if (entry.is_regular_file(error) && entry.path() != programCopy &&
                entry.path().filename() != "logfile.txt")
                total += entry.file_size(error);
        return total;
    }

    bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!condition())
        {
            if (std::chrono::steady_clock::now() >= deadline || !running.Running())
                return condition();
            std::this_thread::sleep_for(100ms);
        }
        return true;
    }

    size_t Requests(const std::string& method)
    {
        size_t count = 0;
        for (const RecordedRequest& request : server.Requests())
            count += request.Header("Method") == method ? 1 : 0;
        return count;
    }

    // The window once it shows the progress screen (or what replaces it), empty when it never
    // does. The window is made 1200 x 640 before the splash shrinks it.
    std::string WindowOnItsScreen()
    {
        const std::string window = FindWindow(kTitle, 20s);
        const auto splash = window.empty() ? std::nullopt : WaitForSize(window, 340, 60, 10s);
        if (!splash || splash->width != 340)
            return {};
        const auto geometry = WaitForSize(window, 1200, 640, 30s, std::pair(kWindowX, kWindowY));
        return geometry && geometry->width == 1200 && geometry->x == kWindowX ? window : std::string();
    }

    std::string Diagnostics()
    {
        return "\n--- program output\n" + ReadText(work / "program.out").substr(0, 20000);
    }

    Screenshot Shoot(const std::string& name)
    {
        Screenshot shot;
        EXPECT_TRUE(shot.Take(screenshots / name)) << "screenshot " << name;
        return shot;
    }

    nd::test::XvfbDisplay display;
    HttpsTestServer server;
    ProgramProcess running;
    fs::path program, programCopy, screenshots, work, folder, launches;
    bool describeRelease = true;
    std::atomic<int> describeDelayMs{0};
    std::atomic<bool> answerLogs{true};
    std::atomic<bool> stopping{false};
    std::mutex uploadLock;
    std::string uploadWindow; // looked at when the log upload arrives
    std::optional<bool> viewableAtUpload;
    uintmax_t releaseBytes = 0;
};

using ProgramRun = ProgramRunOn<::testing::Test>;

TEST_F(ProgramRun, SplashProgressPauseAndExit)
{
    RouteRelease("Norvia_3_2_Home", {{"Setup.exe", Bytes(65536, 1)},
                                     {"Norvia-1a.bin", Bytes(1 << 20, 2)},
                                     {"Norvia-1b.bin", Bytes(4 << 20, 3), true}});
    StartProgram("Norvia_3_2_Home_Download");

    // The splash: the logo on a 340 x 60 window in the middle of the screen.
    const std::string window = FindWindow(kTitle, 20s);
    ASSERT_FALSE(window.empty()) << Diagnostics();
    EXPECT_EQ(WindowTitle(window), kTitle);
    const auto splash = WaitForSize(window, 340, 60, 10s);
    ASSERT_TRUE(splash) << Diagnostics();
    EXPECT_EQ(splash->width, 340);
    EXPECT_EQ(splash->height, 60);
    EXPECT_EQ(splash->x, kSplashX);
    EXPECT_EQ(splash->y, kSplashY);
    std::this_thread::sleep_for(1000ms);
    const Screenshot splashShot = Shoot("splash.png");
    EXPECT_GT(splashShot.Share(kSplashX, kSplashY, 340, 60, 255, 255, 255), 0.3) << "white splash background";
    EXPECT_GT(splashShot.Colours(kSplashX, kSplashY, 340, 60), 8u) << "the logo is drawn";

    // The progress screen: 1200 x 640, centred.
    const auto progress = WaitForSize(window, 1200, 640, 30s, std::pair(kWindowX, kWindowY));
    ASSERT_TRUE(progress && progress->width == 1200) << Diagnostics();
    EXPECT_EQ(progress->height, 640);
    EXPECT_EQ(progress->x, kWindowX);
    EXPECT_EQ(progress->y, kWindowY);

    // Wait until the slow file flows (the fast ones are in), then look at the screen.
    ASSERT_TRUE(WaitUntil([&] { return DownloadedOnDisk() > (1u << 20) + 65536 + 100000; }, 60s))
        << Diagnostics();
    // The fade-in counts frames, which come slowly on a software renderer: wait for full colour.
    Screenshot shot;
    const auto settled = std::chrono::steady_clock::now() + 30s;
    do
    {
        std::this_thread::sleep_for(1000ms);
        shot = Shoot("progress.png");
    } while (shot.Share(kWindowX + 662, kWindowY + 402, 20, 10, 65, 117, 139, 10) < 0.5 &&
             std::chrono::steady_clock::now() < settled);
    EXPECT_GT(shot.Share(kWindowX + 20, kWindowY + 300, 500, 300, 150, 40, 40, 40), 0.5)
        << "first slide on the left";
    EXPECT_GT(shot.Share(kWindowX + 610, kWindowY + 10, 580, 280, 30, 60, 80, 40), 0.5)
        << "band on the right";
    EXPECT_GT(shot.Share(kWindowX + 662, kWindowY + 402, 60, 10, 65, 117, 139, 10), 0.5)
        << "accent fill of the bar";
    EXPECT_GT(shot.Share(kWindowX + 1138, kWindowY + 402, 20, 10, 255, 255, 255, 5), 0.5)
        << "white rest of the bar";
    EXPECT_GT(shot.Share(kWindowX + 660, kWindowY + 490, 480, 100, 10, 10, 10, 110), 0.004)
        << "the figures table";
    EXPECT_GT(shot.Share(kWindowX + 1170, kWindowY + 610, 30, 30, 10, 10, 10, 60), 0.05) << "the pause glyph";
    EXPECT_GT(shot.Share(kWindowX + 80, kWindowY + 170, 440, 80, 255, 255, 255, 30), 0.02) << "the slogan";

    // Pause: the transfer holds, and the next click lets it go on.
    const int pauseX = kWindowX + 1200 - 8 - 9, pauseY = kWindowY + 640 - 6 - 10;
    ClickAt(pauseX, pauseY);
    std::this_thread::sleep_for(1500ms);
    const uintmax_t paused = DownloadedOnDisk();
    const Screenshot pausedShot = Shoot("progress_paused.png");
    EXPECT_GT(pausedShot.Share(kWindowX + 1170, kWindowY + 610, 30, 30, 65, 117, 139, 10), 0.05)
        << "the play glyph in the accent colour under the pointer";
    std::this_thread::sleep_for(2500ms);
    EXPECT_EQ(DownloadedOnDisk(), paused) << "nothing arrives while paused";
    EXPECT_LT(paused, releaseBytes);
    ClickAt(pauseX, pauseY);
    EXPECT_TRUE(WaitUntil([&] { return DownloadedOnDisk() > paused; }, 15s)) << "the transfer resumes";

    // Exit: the log goes to the service, then the program ends.
    ClickAt(kWindowX + 1200 - 8 - 10, kWindowY + 6 + 12);
    const auto status = running.Wait(60s);
    ASSERT_TRUE(status) << "the exit glyph did not end the program" << Diagnostics();
    EXPECT_EQ(*status, 0);
    ASSERT_EQ(Requests("LogErrorInfo"), 1u) << Diagnostics();
    for (const RecordedRequest& request : server.Requests())
    {
        if (request.Header("Method") == "LogErrorInfo")
        {
            EXPECT_EQ(request.body.substr(0, 2), "\x1f\x8b") << "a gzip stream";
        }
    }
    EXPECT_FALSE(fs::exists(launches)) << "the setup was never started";
}

// Also when an error came on the way: the run recovered and started the setup.
TEST_F(ProgramRun, FinishedDownloadEndsTheProgramByItself)
{
    RouteRelease("Norvia_3_2_Home", {{"Setup.exe", Bytes(40000, 4)}, {"Norvia-1a.bin", Bytes(300000, 5)}});
    server.Route("GET", "/rel32/Norvia-1a.bin",
                 std::vector<Response>{Response::Status(500), Response::Ok(Bytes(300000, 5))});
    StartProgram("Norvia_3_2_Home_Download");
    const auto status = running.Wait(120s);
    ASSERT_TRUE(status) << "the program did not end" << Diagnostics();
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(DownloadedOnDisk(), releaseBytes);
    const std::string launched = ReadText(launches);
    EXPECT_NE(launched.find((folder / "Setup_NRV32.exe").string()), std::string::npos) << launched;
    EXPECT_EQ(Requests("LogErrorInfo"), 0u) << "a run that started the setup quits without the exit step";
}

// A run that ends without starting the setup ends on the download-error screen, which says why
// whatever record ended the run, and waits for the user.
class RunEndingRecord : public ProgramRunOn<::testing::TestWithParam<const char*>>
{
};

TEST_P(RunEndingRecord, ShowsItsTextOnTheDownloadErrorScreen)
{
    const std::string ending = GetParam();
    if (ending == "NoSetup")
        RouteRelease("Norvia_3_2_Home", {{"Norvia-1a.bin", Bytes(200000, 6)}});
    else if (ending == "ListGone")
        server.Route("GET", "/rel32/Norvia_3_2_Home.txt", Response::Status(404, "gone"));
    else
        RouteRelease("Norvia_3_2_Home",
                     {{"Setup.exe", Bytes(2000, 6)}, {"../Norvia-1a.bin", Bytes(2000, 7)}});
    StartProgram("Norvia_3_2_Home_Download");
    ASSERT_FALSE(WindowOnItsScreen().empty()) << Diagnostics();
    Screenshot shot;
    ASSERT_TRUE(WaitUntil(
        [&]
        {
            // The white right half with the Exit button, and no progress bar.
            shot = Shoot("download_error_" + ending + ".png");
            return shot.Share(kWindowX + 610, kWindowY + 305, 580, 55, 255, 255, 255, 5) > 0.9 &&
                   shot.Share(kWindowX + 820, kWindowY + 500, 160, 38, 10, 10, 10, 40) > 0.02 &&
                   shot.Share(kWindowX + 660, kWindowY + 400, 480, 14, 65, 117, 139, 10) < 0.05;
        },
        60s))
        << "no download-error screen" << Diagnostics();
    std::this_thread::sleep_for(1000ms);
    ASSERT_TRUE(running.Running()) << "the error screen waits for the user" << Diagnostics();
    EXPECT_GT(shot.Share(kWindowX + 20, kWindowY + 300, 500, 300, 150, 40, 40, 40), 0.5)
        << "the side panel stays";
    EXPECT_GT(shot.Share(kWindowX + 690, kWindowY + 365, 420, 60, 10, 10, 10, 110), 0.01) << "the message";

    ClickAt(kWindowX + 900, kWindowY + 519);
    const auto status = running.Wait(60s);
    ASSERT_TRUE(status) << "Exit did not end the program" << Diagnostics();
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(Requests("LogErrorInfo"), 1u) << Diagnostics();
    EXPECT_FALSE(fs::exists(launches)) << "nothing was started";
}

INSTANTIATE_TEST_SUITE_P(Endings, RunEndingRecord, ::testing::Values("NoSetup", "ListGone", "RefusedName"),
                         [](const ::testing::TestParamInfo<const char*>& info)
                         { return std::string(info.param); });

// The service takes 8 s for the description: the splash goes on meanwhile, and a close request
// ends the program at once without starting anything.
TEST_F(ProgramRun, CloseRequestWhileTheServiceIsSlowEndsTheProgramAtOnce)
{
    describeDelayMs = 8000;
    StartProgram("Norvia_3_2_Home_Download");
    const std::string window = FindWindow(kTitle, 20s);
    ASSERT_FALSE(window.empty()) << Diagnostics();
    ASSERT_TRUE(WaitUntil([&] { return Requests("RequestDownload") == 1; }, 30s)) << Diagnostics();
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(Viewable(window));
    EXPECT_EQ(Opacity(window), 1.0);
    EXPECT_GT(Shoot("splash_waiting.png").Colours(kSplashX, kSplashY, 340, 60), 8u) << "the logo";

    ASSERT_TRUE(RequestWindowClose(window));
    const auto status = running.Wait(kPromptEnd);
    ASSERT_TRUE(status) << "the close request did not end the program at once" << Diagnostics();
    EXPECT_EQ(*status, 0);
    for (const RecordedRequest& request : server.Requests())
        EXPECT_NE(request.path.rfind("/rel32/", 0), 0u) << "a run was started";
    EXPECT_FALSE(fs::exists(launches)) << "nothing was opened";
}

TEST_F(ProgramRun, ExitHidesTheWindowAtOnceAndEndsThoughTheLogUploadIsNeverAnswered)
{
    answerLogs = false;
    RouteRelease("Norvia_3_2_Home",
                 {{"Setup.exe", Bytes(65536, 9)}, {"Norvia-1a.bin", Bytes(4 << 20, 10), true}});
    StartProgram("Norvia_3_2_Home_Download");
    const std::string window = WindowOnItsScreen();
    ASSERT_FALSE(window.empty()) << Diagnostics();
    std::this_thread::sleep_for(2000ms);
    {
        std::lock_guard<std::mutex> hold(uploadLock);
        uploadWindow = window;
    }
    ClickAt(kWindowX + 1200 - 8 - 10, kWindowY + 6 + 12);
    ASSERT_TRUE(WaitUntil([&] { return Requests("LogErrorInfo") == 1; }, 10s)) << Diagnostics();
    const auto status = running.Wait(20s);
    ASSERT_TRUE(status) << "the program did not end within 20 s" << Diagnostics();
    EXPECT_EQ(*status, 0);
    {
        std::lock_guard<std::mutex> hold(uploadLock);
        ASSERT_TRUE(viewableAtUpload.has_value());
        EXPECT_FALSE(*viewableAtUpload) << "the window was still shown when the upload arrived";
    }
    EXPECT_TRUE(fs::exists(folder / "logfile.txt"));
    EXPECT_FALSE(fs::exists(launches));
}

// meta.json at one byte a second: the download starts after the splash's 20 s without the
// artwork, and the artwork's transfer ends after its own 30 s.
TEST_F(ProgramRun, ArtworkThatTricklesHoldsTheDownloadBackTwentySecondsAtMost)
{
    server.Route("GET", "/downloadmanager/3/meta.json",
                 Response::Slow(std::string(100, ' ') + "{}", 1, 1000ms));
    // The program still runs when the artwork's 30 s are over.
    RouteRelease("Norvia_3_2_Home",
                 {{"Setup.exe", Bytes(40000, 11)}, {"Norvia-1a.bin", Bytes(3 << 19, 12), true}});
    const auto start = std::chrono::steady_clock::now();
    StartProgram("Norvia_3_2_Home_Download");
    ASSERT_TRUE(WaitUntil([&] { return Requests("RequestDownload") == 1; }, 40s)) << Diagnostics();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << "the splash waited past its 20 s";
    const auto status = running.Wait(90s);
    ASSERT_TRUE(status) << "the program did not end" << Diagnostics();
    EXPECT_EQ(*status, 0);
    EXPECT_NE(ReadText(launches).find("Setup_NRV32.exe"), std::string::npos) << Diagnostics();
    EXPECT_NE(ReadText(work / "program.out").find("no answer within 30 s"), std::string::npos)
        << "the artwork transfer was not bounded" << Diagnostics();
}

TEST_F(ProgramRun, FailingDescriptionShowsTheSupportScreenInViewerMode)
{
    describeRelease = false;
    StartProgram("Norvia_3_2_Viewer_Download");
    const std::string window = FindWindow(kViewerTitle, 20s);
    ASSERT_FALSE(window.empty()) << Diagnostics();
    const auto geometry = WaitForSize(window, 1200, 640, 30s, std::pair(kWindowX, kWindowY));
    ASSERT_TRUE(geometry && geometry->width == 1200) << Diagnostics();
    EXPECT_EQ(geometry->x, kWindowX);
    EXPECT_EQ(geometry->y, kWindowY);
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(launches); }, 10s)) << Diagnostics();
    EXPECT_EQ(ReadText(launches), "https://support.localhost/help/download-manager-not-working\n");

    std::this_thread::sleep_for(2500ms);
    const Screenshot shot = Shoot("support.png");
    EXPECT_GT(shot.Share(kWindowX, kWindowY, 1200, 640, 100, 100, 100, 2), 0.8) << "grey support screen";
    EXPECT_GT(shot.Share(kWindowX + 200, kWindowY + 310, 800, 30, 10, 10, 10, 40), 0.01) << "the message";
    EXPECT_GT(shot.Share(kWindowX + 520, kWindowY + 500, 160, 38, 255, 255, 255, 40), 0.02)
        << "the Exit button";
    EXPECT_TRUE(running.Running()) << "the support screen waits for the user";

    ClickAt(kWindowX + 600, kWindowY + 519);
    const auto status = running.Wait(60s);
    ASSERT_TRUE(status) << "Exit did not end the program" << Diagnostics();
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(Requests("RequestDownload"), 1u);
}

// Xft.dpi 144 and 192: 1.5 and 2 times the size, the pause glyph where drawn, halved 2x as at 1x.
TEST_F(ProgramRun, DisplayScaleSizesTheWindowAndKeepsItsLook)
{
    RouteRelease("Norvia_3_2_Home", {{"Norvia-1a.bin", Bytes(8 << 20, 2), true}});
    server.Route("GET", "/images/slide2.png", Response::Ok(SolidPng(601, 640, 150, 40, 40))); // no cross-fade
    for (const int dpi : {96, 144, 192})
    {
        running.Stop();
        display.Stop();
        std::string error;
        ASSERT_TRUE(display.Start(error, "2560x1600x24", dpi)) << error;
        fs::remove_all(work / "release");
        StartProgram("Norvia_3_2_Home_Download");
        const auto scaled = [dpi](int length) { return length * dpi / 96; };
        const std::string window = FindWindow(kTitle, 20s);
        const auto at = WaitForSize(window, scaled(1200), scaled(640), 40s,
                                    std::pair(1280 - scaled(600), 800 - scaled(320)));
        ASSERT_TRUE(at && at->width == scaled(1200) && at->height == scaled(640)) << dpi << Diagnostics();
        const int fillX = at->x + scaled(662), fillY = at->y + scaled(402);
        WaitUntil([&] { return Shoot("scale_fade.png").Share(fillX, fillY, 8, 8, 65, 117, 139, 10) > 0.9; },
                  40s);
        ClickAt(at->x + scaled(1200 - 8 - 9), at->y + scaled(640 - 6 - 10));
        std::this_thread::sleep_for(1500ms);
        const uintmax_t paused = DownloadedOnDisk();
        screentest::Run("import -window " + window + " -filter box -resize 1200x640 " +
                        (screenshots / ("scale_" + std::to_string(dpi) + ".png")).string());
        std::this_thread::sleep_for(2000ms);
        EXPECT_EQ(DownloadedOnDisk(), paused) << "nothing arrives while paused, at dpi " << dpi;
    }
    const std::string mae =
        screentest::Run("sh -c 'compare -metric MAE " + (screenshots / "scale_192.png").string() + " " +
                        (screenshots / "scale_96.png").string() + " null: 2>&1'");
    EXPECT_LE(std::stod(mae.substr(mae.find('(') + 1)), 0.03) << mae;
}

} // namespace
