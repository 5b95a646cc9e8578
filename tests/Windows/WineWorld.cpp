#include "WineWorld.h"

#include "support/TestConnection.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace wintest
{

WineWorld::WineWorld()
    : sandbox(), opener(sandbox.path), program(sandbox.path / "outer" / "inner" / "program"),
      setupLog(sandbox.path / "setups.txt"), server(LocalServer()), files(reliability::DefaultFiles())
{
    fs::create_directories(program);
    files[0].content = RecorderProgram();
}

WineWorld::~WineWorld()
{
    server.Stop();
    for (auto& extra : extraServers)
        extra->Stop();
}

std::string WineWorld::Open()
{
    HttpsTestServer::UseTestCa();
    if (RecorderProgram().empty())
        return "no launch recorder in the Windows build";
    if (!server.Start())
        return "the test server did not start";
    ::setenv("NORVIA_SERVICE_HOST", server.HostPort().c_str(), 1);
    ::setenv("NORVIA_CONTENT_HOST", server.HostPort().c_str(), 1);
    ::setenv("NORVIA_SUPPORT_HOST", "support.localhost", 1);
    ::setenv("NORVIA_LAUNCH_LOG", WindowsPath(setupLog).c_str(), 1);
    return {};
}

HttpsTestServer& WineWorld::AddServer(const testsupport::ServerOptions& options)
{
    extraServers.push_back(std::make_unique<HttpsTestServer>(options));
    EXPECT_TRUE(extraServers.back()->Start());
    return *extraServers.back();
}

nlohmann::json WineWorld::Description() const
{
    return {{"product_code", "ABC"},
            {"company_name", "Halden"},
            {"download_subdir", "rel/Files"},
            {"host_name", server.HostPort()},
            {"SAS", "?sv=1&sig=abc"}};
}

void WineWorld::ServeDescription(const nlohmann::json& answer)
{
    server.Route("POST", kServicePath, Response::Ok(answer.dump()));
}

void WineWorld::ServeRelease()
{
    ServeDescription(Description());
    ServeList(enginetest::FileListText(files));
    for (const auto& file : files)
        server.Route("GET", "/rel/Files/" + file.name, Response::Ok(file.content));
}

void WineWorld::ServeList(const std::string& text)
{
    server.Route("GET", kListPath, Response::Ok(text));
}

size_t WineWorld::RequestsFor(const std::string& path) const
{
    size_t count = 0;
    for (const auto& request : server.Requests())
        count += request.path == path;
    return count;
}

ProbeResult WineWorld::RunProgram(std::chrono::seconds bound, const std::vector<std::string>& extra)
{
    std::vector<std::string> arguments{"run", "--program=" + WindowsPath(ProgramFile()),
                                       "--bound-ms=" + std::to_string(bound.count() * 1000),
                                       "--timeouts=2000,3000,1500"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    before = reliability::TreeSnapshot(sandbox.path);
    ProbeResult result = RunProbe(arguments, bound + 60s, launcherOptions);
    lastRun = result.answer;
    return result;
}

// The recorder writes "exe=", "cwd=" and one "arg=" line per argument, then "end", per start.
std::vector<enginetest::Launch> WineWorld::SetupLaunches(size_t expected) const
{
    std::vector<enginetest::Launch> launches;
    enginetest::WaitUntil(
        [&]
        {
            launches.clear();
            std::istringstream lines(enginetest::ReadFileText(setupLog));
            std::string line;
            enginetest::Launch current;
            while (std::getline(lines, line))
            {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                std::replace(line.begin(), line.end(), '\\', '/');
                // Z:/tmp/... is /tmp/... to Linux.
                const size_t drive = line.find("=Z:");
                if (drive != std::string::npos)
                    line.erase(drive + 1, 2);
                if (line.rfind("cwd=", 0) == 0)
                    current.workingFolder = line.substr(4);
                else if (line.rfind("exe=", 0) == 0)
                    current.arguments.insert(current.arguments.begin(), line.substr(4));
                else if (line == "end")
                    launches.push_back(std::exchange(current, {}));
            }
            return launches.size() >= expected;
        },
        expected == 0 ? 300ms : 10s);
    return launches;
}

bool WineWorld::SupportArticleOpened() const
{
    for (const auto& launch : opener.WaitForLaunches(1, 10s))
        for (const auto& argument : launch.arguments)
            if (argument.find("/help/download-manager-not-working") != std::string::npos)
                return true;
    return false;
}

std::vector<std::string> WineWorld::ChangesOutside() const
{
    const std::string programFolder = fs::relative(program, sandbox.path).string();
    return reliability::ChangesBetween(before, reliability::TreeSnapshot(sandbox.path),
                                       [&](const std::string& path)
                                       {
                                           return reliability::FaultWorld::Inside(path, programFolder) ||
                                                  path == "launches.txt" || path == "setups.txt";
                                       });
}

Response Silence(const testsupport::RecordedRequest&)
{
    if (testsupport::ConnectionContext* connection = testsupport::ConnectionContext::Current())
        connection->lifetime.SleepFor(120s);
    return Response::Status(503);
}

const std::string& RecorderProgram()
{
    static const std::string bytes = enginetest::ReadFileText(WindowsBuildFile("norvia_launch_recorder.exe"));
    return bytes;
}

} // namespace wintest
