// The built program on a 2560 x 1600 private screen whose X resources give Xft.dpi 144 or 192:
// the window's device size, the progress screen at scale 2 against the same state at scale 1, and
// the pause glyph clicked at its scaled place.

#include "DesktopSession.h"
#include "TestImages.h"

#include "support/HttpsTestServer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <fstream>

namespace
{

using namespace screentest;
using testsupport::HttpsTestServer;
using testsupport::RecordedRequest;
using testsupport::Response;

constexpr const char* kTitle = "Halden | Norvia Download Manager";
constexpr int kScreenWidth = 2560, kScreenHeight = 1600;

// The part of a screenshot a window covers, as RGB.
struct WindowImage
{
    int width = 0, height = 0;
    std::vector<int> rgb;

    WindowImage(const Screenshot& shot, const WindowGeometry& at) : width(at.width), height(at.height)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    rgb.push_back(
                        shot.pixels[(static_cast<size_t>(at.y + y) * shot.width + at.x + x) * 4 + c]);
    }

    // Each 2 x 2 block averaged into one pixel.
    WindowImage Halved() const
    {
        WindowImage half = *this;
        half.width = width / 2;
        half.height = height / 2;
        half.rgb.assign(static_cast<size_t>(half.width) * half.height * 3, 0);
        for (int y = 0; y < half.height; ++y)
            for (int x = 0; x < half.width; ++x)
                for (int c = 0; c < 3; ++c)
                {
                    int sum = 0;
                    for (int dy = 0; dy < 2; ++dy)
                        for (int dx = 0; dx < 2; ++dx)
                            sum += rgb[(static_cast<size_t>(2 * y + dy) * width + 2 * x + dx) * 3 + c];
                    half.rgb[(static_cast<size_t>(y) * half.width + x) * 3 + c] = (sum + 2) / 4;
                }
        return half;
    }

    // Mean absolute difference of all channels, as a share of full scale.
    double Difference(const WindowImage& other) const
    {
        if (other.width != width || other.height != height || rgb.empty())
            return 1.0;
        double total = 0.0;
        for (size_t i = 0; i < rgb.size(); ++i)
            total += std::abs(rgb[i] - other.rgb[i]);
        return total / static_cast<double>(rgb.size()) / 255.0;
    }
};

class ProgramAtScale : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "import", "xprop"})
            if (!OnPath(tool))
                GTEST_SKIP() << tool << " is missing; scripts/install-deps.sh installs it";
        const fs::path build = fs::canonical("/proc/self/exe").parent_path().parent_path();
        program = build / "NorviaDownloadManager";
        ASSERT_TRUE(fs::exists(program)) << "build the NorviaDownloadManager target first";
        screenshots = build / "screenshots";
        fs::create_directories(screenshots);
        work = fs::temp_directory_path() / ("norvia_scale_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(work);

        HttpsTestServer::UseTestCa();
        server.Route("GET", "/downloadmanager/3/meta.json",
                     Response::Ok(R"({"core": {"logo_background": "https://127.0.0.1/images/band.png"},
                                      "media": {"slide_1": "https://127.0.0.1/images/slide.png",
                                                "slide_2": "https://127.0.0.1/images/slide.png"}})"));
        server.Route("GET", "/images/band.png", Response::Ok(SolidPng(600, 300, 30, 60, 80)));
        // Both slides alike: the cross-fade changes nothing between two screenshots.
        server.Route("GET", "/images/slide.png", Response::Ok(SolidPng(601, 640, 150, 40, 40)));
        server.Route("POST", "/Norvia/DownloadManager8.ashx",
                     [this](const RecordedRequest&)
                     {
                         return Response::Ok(
                             R"({"product_code": "NRV32", "download_subdir": "rel32", "host_name": ")" +
                             server.HostPort() + "\"}");
                     });
        // One file that flows slowly, so that a pause shows on disk.
        std::string body(8 << 20, '\0');
        for (size_t i = 0; i < body.size(); ++i)
            body[i] = static_cast<char>(i * 131 + (i >> 9));
        const uint32_t crc =
            ::crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
        server.Route("GET", "/rel32/Norvia_3_2_Home.txt",
                     Response::Ok("files;Norvia-1a.bin\r\n" + std::to_string(body.size()) + "\r\n" +
                                  std::to_string(static_cast<int32_t>(crc)) + "\r\n"));
        server.Route("GET", "/rel32/Norvia-1a.bin", Response::Slow(body, 8192, 100ms));
        ASSERT_TRUE(server.Start());
    }

    void TearDown() override
    {
        running.Stop();
        server.Stop();
        display.Stop();
        if (!::testing::Test::HasFailure() && !work.empty())
            fs::remove_all(work);
    }

    // The program on a fresh screen at the dpi; its window once it has the progress screen's size,
    // centred, and the screen has faded in; nullopt when it never does.
    std::optional<WindowGeometry> Launch(int dpi, int width, int height)
    {
        running.Stop();
        display.Stop();
        std::string error;
        if (!display.Start(error, std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24"))
        {
            ADD_FAILURE() << error;
            return std::nullopt;
        }
        // What xrdb would load: GLFW reads Xft.dpi from the root window's resources when it starts.
        screentest::Run("xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER 'Xft.dpi:\t" +
                        std::to_string(dpi) + "\n'");
        folder = work / std::to_string(dpi);
        fs::create_directories(folder);
        const fs::path copy = folder / "Norvia_3_2_Home_Download";
        fs::copy_file(program, copy);
        const std::map<std::string, std::string> environment = {
            {"DISPLAY", display.Name()},
            {"NORVIA_SERVICE_HOST", server.HostPort()},
            {"NORVIA_CONTENT_HOST", server.HostPort()},
            {"NORVIA_SUPPORT_HOST", "support.localhost"},
            {"SSL_CERT_FILE", HttpsTestServer::CaFile()},
            {"XDG_DATA_HOME", work.string()},
            {"LIBGL_ALWAYS_SOFTWARE", "1"},
        };
        if (!running.Start(copy, environment, folder / "program.out"))
            return std::nullopt;
        const std::string window = FindWindow(kTitle, 20s);
        const auto place = std::pair((kScreenWidth - width) / 2, (kScreenHeight - height) / 2);
        const auto seen = window.empty() ? std::nullopt : WaitForSize(window, width, height, 30s, place);
        if (!seen || seen->width != width || seen->height != height || seen->x != place.first)
            return seen;
        // Faded in when the bar's fill has its full accent colour.
        const double scale = width / 1200.0;
        const auto scaled = [&](int length) { return static_cast<int>(length * scale); };
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        Screenshot shot;
        while (shot.Take(screenshots / "scale_fade.png") &&
               shot.Share(seen->x + scaled(662), seen->y + scaled(402), scaled(8), scaled(8), 65, 117, 139,
                          10) < 0.9 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(500ms);
        return seen;
    }

    // Bytes of the setup files in the program's folder.
    uintmax_t Downloaded()
    {
        uintmax_t total = 0;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error))
            if (entry.path().extension() == ".bin")
                total += entry.file_size(error);
        return total;
    }

    // Clicks the pause glyph (8 and 6 design pixels from the bottom right corner) where the scale
    // puts it, and shows the window once the click has taken effect.
    WindowImage PauseAndShoot(const WindowGeometry& at, const std::string& name)
    {
        const double scale = at.width / 1200.0;
        ClickAt(at.x + static_cast<int>((1200 - 8 - 9) * scale),
                at.y + static_cast<int>((640 - 6 - 10) * scale));
        std::this_thread::sleep_for(1500ms);
        Screenshot shot;
        EXPECT_TRUE(shot.Take(screenshots / name));
        return WindowImage(shot, at);
    }

    std::string Diagnostics()
    {
        std::ifstream in(folder / "program.out");
        return "\n--- program output\n" +
               std::string(std::istreambuf_iterator<char>(in), {}).substr(0, 20000);
    }

    nd::test::XvfbDisplay display;
    HttpsTestServer server;
    ProgramProcess running;
    fs::path program, screenshots, work, folder;
};

TEST_F(ProgramAtScale, WindowAtOneAndAHalfIsTheDesignSizeTimesTheScale)
{
    const auto window = Launch(144, 1800, 960);
    ASSERT_TRUE(window) << Diagnostics();
    EXPECT_EQ(window->width, 1800) << Diagnostics();
    EXPECT_EQ(window->height, 960);
    EXPECT_EQ(window->x, (kScreenWidth - 1800) / 2);
}

TEST_F(ProgramAtScale, ProgressScreenAtTwoLooksAsAtOneAndItsPauseGlyphPausesWhereItIsDrawn)
{
    const auto atOne = Launch(96, 1200, 640);
    ASSERT_TRUE(atOne && atOne->width == 1200) << Diagnostics();
    const WindowImage one = PauseAndShoot(*atOne, "scale_1x_progress_paused.png");

    const auto atTwo = Launch(192, 2400, 1280);
    ASSERT_TRUE(atTwo) << Diagnostics();
    ASSERT_EQ(atTwo->width, 2400) << Diagnostics();
    ASSERT_EQ(atTwo->height, 1280);
    ASSERT_GT(Downloaded(), 0u) << "the file flows before the pause" << Diagnostics();
    const WindowImage two = PauseAndShoot(*atTwo, "scale_2x_progress_paused.png");
    const uintmax_t paused = Downloaded();
    std::this_thread::sleep_for(2000ms);
    EXPECT_EQ(Downloaded(), paused) << "nothing arrives while paused";

    const double difference = two.Halved().Difference(one);
    EXPECT_LE(difference, 0.03) << "mean absolute difference of the halved 2x window from the 1x one";
}

} // namespace
