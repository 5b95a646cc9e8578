#pragma once
// The world a Windows run is judged in, as the fault matrix's world on Linux: a sandbox holding
// the program's folder and a recording stand-in for xdg-open (web addresses reach it through
// wine's browser bridge); one local HTTPS server playing the download service, the storage and
// the content server, named "localhost" since WinINet under wine matches certificates by name
// only; and a release whose setup is the launch recorder, a Windows program that notes where and
// how it was started. The run itself happens in the probe under wine.

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DownloadSystem/EngineTestSupport.h"
#include "Reliability/FaultWorld.h"
#include "WineProbe.h"
#include "support/HttpsTestServer.h"

namespace wintest
{

using enginetest::SetupFile;
using testsupport::HttpsTestServer;
using testsupport::Response;
using namespace std::chrono_literals;

inline constexpr const char* kListPath = "/rel/Files/Norvia_3_2_Home.txt";
inline constexpr const char* kServicePath = "/Norvia/DownloadManager8.ashx";
inline constexpr const char* kAttemptsMessage = "Maximum download attempts exceeded";

inline testsupport::ServerOptions
LocalServer(testsupport::Certificate certificate = testsupport::Certificate::Trusted, bool secure = true)
{
    return {secure, "localhost", certificate};
}

class WineWorld
{
public:
    WineWorld();
    ~WineWorld();

    // Starts the server and points the program's remote hosts at it; the text of what failed.
    std::string Open();
    // A further server, already started; it lives as long as the world.
    HttpsTestServer& AddServer(const testsupport::ServerOptions& options);

    nlohmann::json Description() const;
    void ServeDescription(const nlohmann::json& answer);
    // The description, the list of files and every file's body.
    void ServeRelease();
    void ServeList(const std::string& text);
    size_t RequestsFor(const std::string& path) const;

    // The program file the release name comes from, and where its files go.
    fs::path ProgramFile() const { return program / "Norvia_3_2_Home_Download.exe"; }
    fs::path LocalPath(const std::string& name) const { return program / name; }

    // What the screens do, in the probe: the description request, then the run to its end.
    ProbeResult RunProgram(std::chrono::seconds bound, const std::vector<std::string>& extra = {});

    // The setups started (the recorder's notes): the file as Linux sees it, and its folder.
    std::vector<enginetest::Launch> SetupLaunches(size_t expected) const;
    bool SupportArticleOpened() const;
    // Paths below the sandbox that changed outside the program's folder and the records.
    std::vector<std::string> ChangesOutside() const;

    enginetest::TempFolder sandbox;
    enginetest::FakeOpener opener;
    fs::path program;
    fs::path setupLog;
    HttpsTestServer server;
    std::vector<std::unique_ptr<HttpsTestServer>> extraServers;
    std::vector<SetupFile> files;
    nlohmann::json lastRun; // the answer of the last RunProgram
    std::vector<std::string> launcherOptions; // for the runs of RunProgram

private:
    std::map<std::string, std::string> before;
};

// Holds the request without a word until the server stops.
Response Silence(const testsupport::RecordedRequest& request);

// The launch recorder's bytes: the setup of every release served here.
const std::string& RecorderProgram();

// A test with a world that is open; it fails (never skips) where wine or the build is missing.
class WineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string missing = PrepareWineWorld();
        ASSERT_EQ(missing, "");
        ASSERT_EQ(world.Open(), "");
    }

    WineWorld world;
};

} // namespace wintest
