#pragma once
// The world a fault scenario runs in: a sandbox folder holding the program's folder (nested, so
// that names climbing out of it still land where a snapshot sees them), the per-user data folder
// and a recording stand-in for xdg-open; one local HTTPS server playing the download service,
// the storage and the content server; and the real front-end (DownloadCore) running a release.
//
// Every scenario ends with the same three checks: the run ended within its bound, nothing changed
// outside the program's and the data folder, and a setup was launched only if its bytes are the
// release's.

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/DownloadCore.h"
#include "DownloadSystem/DownloadManager.h"
#include "DownloadSystem/EngineTestSupport.h"
#include "Platform/HttpRequest.h"
#include "support/HttpsTestServer.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace reliability
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using enginetest::Pattern;
using enginetest::SetupFile;
using testsupport::HttpsTestServer;
using testsupport::Response;

inline constexpr const char* kRelease = "Norvia_3_2_Home";
inline constexpr const char* kListPath = "/rel/Files/Norvia_3_2_Home.txt";
inline constexpr const char* kFolderPath = "/rel/Files/";
inline constexpr const char* kServicePath = "/Norvia/DownloadManager8.ashx";
inline constexpr const char* kSupportUrlPart = "/help/download-manager-not-working";

// What a file list entry should read like, or deliberately not.
inline std::string EntryText(const std::string& name, const std::string& size, const std::string& crc)
{
    return ";" + name + "\r\n" + size + "\r\n" + crc + "\r\n";
}

inline std::string EntryFor(const SetupFile& file)
{
    return EntryText(file.name, std::to_string(file.content.size()),
                     std::to_string(static_cast<int32_t>(enginetest::CrcOf(file.content))));
}

// Entries in order, after the leading text the storage puts first.
inline std::string ListText(const std::vector<std::string>& entries)
{
    std::string text = "Norvia setup files";
    for (const auto& entry : entries)
        text += entry;
    return text;
}

// Every file and folder below root, by relative path, with its kind and size (symbolic links are
// not followed).
inline std::map<std::string, std::string> TreeSnapshot(const fs::path& root)
{
    std::map<std::string, std::string> tree;
    std::error_code error;
    for (auto it =
             fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, error);
         it != fs::recursive_directory_iterator(); it.increment(error))
    {
        if (error)
            break;
        struct stat info
        {
        };
        if (::lstat(it->path().c_str(), &info) != 0)
            continue;
        const std::string kind = S_ISDIR(info.st_mode) ? "dir" : S_ISLNK(info.st_mode) ? "link" : "file";
        tree[fs::relative(it->path(), root).string()] =
            kind + ":" + (S_ISDIR(info.st_mode) ? std::string() : std::to_string(info.st_size));
    }
    return tree;
}

// The paths of two snapshots that appeared, vanished ("(removed)") or changed, except the allowed.
inline std::vector<std::string> ChangesBetween(const std::map<std::string, std::string>& before,
                                               const std::map<std::string, std::string>& after,
                                               const std::function<bool(const std::string&)>& allowed)
{
    std::vector<std::string> changes;
    for (const auto& [path, kind] : after)
    {
        const auto old = before.find(path);
        if (!allowed(path) && (old == before.end() || old->second != kind))
            changes.push_back(path);
    }
    for (const auto& [path, kind] : before)
    {
        if (!allowed(path) && after.count(path) == 0)
            changes.push_back(path + " (removed)");
    }
    return changes;
}

// Whether a record's message contains text and carries the error number.
inline bool AnyRecordWith(const std::string& text, int32_t errorNumber)
{
    for (const auto& record : nd::GetLogRecords())
    {
        if (record["message"].get<std::string>().find(text) != std::string::npos &&
            record["error_number"].get<int32_t>() == errorNumber)
            return true;
    }
    return false;
}

inline size_t ThreadCount()
{
    size_t count = 0;
    if (DIR* tasks = ::opendir("/proc/self/task"))
    {
        while (const dirent* entry = ::readdir(tasks))
            count += entry->d_name[0] != '.';
        ::closedir(tasks);
    }
    return count;
}

// The release every scenario starts from: a setup and one data file, small enough to keep runs
// short and large enough that a body can break in its middle.
inline std::vector<SetupFile> DefaultFiles()
{
    return {{"Setup.exe", Pattern(48 * 1024, 11)}, {"Setup-1a.bin", Pattern(96 * 1024, 12)}};
}

struct RunResult
{
    bool described = false; // RequestDescription returned true
    bool ended = false;     // the run (or the failed request) ended within the bound
    std::chrono::milliseconds elapsed{0};
};

class FaultWorld
{
public:
    FaultWorld()
        : sandbox(), opener(sandbox.path), program(sandbox.path / "outer" / "inner" / "program"),
          dataHome(sandbox.path / "home")
    {
        fs::create_directories(program);
        fs::create_directories(dataHome);
    }

    // Starts the server and points the program's remote hosts and HTTP time-outs at the test.
    bool Open()
    {
        nd::ClearErrors();
        HttpsTestServer::UseTestCa();
        if (!server.Start())
            return false;
        ::setenv("NORVIA_SERVICE_HOST", server.HostPort().c_str(), 1);
        ::setenv("NORVIA_CONTENT_HOST", server.HostPort().c_str(), 1);
        ::setenv("NORVIA_SUPPORT_HOST", "support.localhost", 1);
        ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        Platform::HttpTimeouts timeouts;
        timeouts.connectMs = 2000;
        timeouts.sendMs = 3000;
        timeouts.receiveMs = 1500;
        Platform::SetHttpTimeoutsForTesting(timeouts);
        return true;
    }

    // One request answered, so that the server's worker threads exist before threads are counted.
    void WarmUp()
    {
        Platform::HttpRequest request;
        Platform::HttpRequestOptions options;
        options.host = server.HostPort();
        options.target = "/warm-up";
        request.Send(options, nullptr, 0, nullptr);
        request.Close();
        server.ClearRequests();
    }

    // A further server (another host name, a plain HTTP one, a bad certificate), already started;
    // it lives as long as the world.
    HttpsTestServer& AddServer(const testsupport::ServerOptions& options)
    {
        extraServers.push_back(std::make_unique<HttpsTestServer>(options));
        EXPECT_TRUE(extraServers.back()->Start());
        return *extraServers.back();
    }

    ~FaultWorld()
    {
        core.reset();
        server.Stop();
        for (auto& extra : extraServers)
            extra->Stop();
        Platform::SetHttpTimeoutsForTesting(Platform::HttpTimeouts{});
    }

    // [SECTION] Serving a release

    nlohmann::json Description() const
    {
        return {{"product_code", "ABC"},
                {"company_name", "Halden"},
                {"download_subdir", "rel/Files"},
                {"host_name", server.HostPort()},
                {"SAS", "?sv=1&sig=abc"}};
    }

    void ServeDescription(const nlohmann::json& answer)
    {
        server.Route("POST", kServicePath, Response::Ok(answer.dump()));
    }

    // The description, the list of files and every file's body.
    void ServeRelease()
    {
        ServeDescription(Description());
        std::vector<std::string> entries;
        for (const auto& file : files)
            entries.push_back(EntryFor(file));
        server.Route("GET", kListPath, Response::Ok(ListText(entries)));
        for (const auto& file : files)
            server.Route("GET", kFolderPath + file.name, Response::Ok(file.content));
    }

    void ServeList(const std::string& text) { server.Route("GET", kListPath, Response::Ok(text)); }

    size_t RequestsFor(const std::string& path) const
    {
        size_t count = 0;
        for (const auto& request : server.Requests())
            count += request.path == path;
        return count;
    }

    // [SECTION] Running

    std::u16string ProgramPath() const
    {
        return nd::StringUtils::FromUtf8((program / (std::string(kRelease) + "_Download")).string());
    }

    std::shared_ptr<DownloadSystem::DownloadCore> MakeCore()
    {
        core = std::make_shared<DownloadSystem::DownloadCore>(ProgramPath());
        return core;
    }

    // What the screens do: the description request, then the run, here followed to its end.
    RunResult RunProgram(std::chrono::milliseconds bound)
    {
        TakeSnapshot();
        MakeCore();
        RunResult result;
        const auto start = std::chrono::steady_clock::now();
        result.described = core->RequestDescription();
        if (result.described)
        {
            core->StartDownload();
            result.ended = enginetest::WaitUntil([&] { return core->IsFinished(); }, bound);
        }
        result.elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        if (!result.described)
            result.ended = result.elapsed <= bound;
        return result;
    }

    void TakeSnapshot() { before = TreeSnapshot(sandbox.path); }

    // [SECTION] Checking the end

    static bool Inside(const std::string& relative, const std::string& folder)
    {
        return relative == folder || relative.rfind(folder + "/", 0) == 0;
    }

    // Paths (relative to the sandbox) that appeared, vanished or changed outside the program's
    // folder, the data folder and the opener's record.
    std::vector<std::string> ChangesOutside() const
    {
        const std::string programFolder = fs::relative(program, sandbox.path).string();
        const std::string dataFolder = fs::relative(dataHome / kRelease, sandbox.path).string();
        return ChangesBetween(before, TreeSnapshot(sandbox.path),
                              [&](const std::string& path) {
                                  return Inside(path, programFolder) || Inside(path, dataFolder) ||
                                         path == "launches.txt";
                              });
    }

    fs::path LocalPath(const std::string& name) const { return program / name; }

    // Launches of files (not web addresses) seen once the opener has had time to record them.
    std::vector<std::string> FileLaunches(size_t expectedLaunches) const
    {
        opener.WaitForLaunches(expectedLaunches, 5s);
        // A launch is recorded by the opener a moment after it was started.
        std::this_thread::sleep_for(300ms);
        const auto launches = opener.Launches();
        std::vector<std::string> files;
        for (const auto& launch : launches)
        {
            for (const auto& argument : launch.arguments)
            {
                if (argument.rfind("https://", 0) != 0)
                    files.push_back(argument);
            }
        }
        return files;
    }

    bool SupportArticleOpened() const
    {
        for (const auto& launch : opener.WaitForLaunches(1, 2s))
        {
            for (const auto& argument : launch.arguments)
            {
                if (argument.find(kSupportUrlPart) != std::string::npos)
                    return true;
            }
        }
        return false;
    }

    enginetest::TempFolder sandbox;
    enginetest::FakeOpener opener;
    fs::path program;
    fs::path dataHome;
    HttpsTestServer server;
    std::vector<std::unique_ptr<HttpsTestServer>> extraServers;
    std::vector<SetupFile> files = DefaultFiles();
    std::shared_ptr<DownloadSystem::DownloadCore> core;
    std::map<std::string, std::string> before;
};

// [SECTION] Expected ends

enum class End
{
    SetupLaunched,    // every file verified and the setup started
    ErrorNoSetup,     // the run ended with the design's error records, nothing started
    RefusedAtRequest, // the description request failed: no run at all
};

// A scenario of a world (this one, or the Windows tests' world under wine): how it is arranged,
// how it must end and what is checked last.
template <class World> struct BasicScenario
{
    using Step = std::function<void(World&)>;

    BasicScenario(std::string name, End end, Step arrange)
        : name(std::move(name)), end(end), arrange(std::move(arrange))
    {
    }
    // Texts that some log record must contain.
    BasicScenario& Records(std::vector<std::string> texts)
    {
        records = std::move(texts);
        return *this;
    }
    BasicScenario& Within(std::chrono::seconds limit)
    {
        bound = limit;
        return *this;
    }
    // Further checks of this scenario's end (requests seen, error numbers), run last.
    BasicScenario& Then(Step check)
    {
        verify = std::move(check);
        return *this;
    }
    // The local name of the setup that is launched, when it is not the usual one.
    BasicScenario& Launching(std::string localName)
    {
        setupName = std::move(localName);
        return *this;
    }

    std::string name;
    End end;
    Step arrange;
    std::vector<std::string> records;
    std::chrono::seconds bound = 60s;
    Step verify;
    std::string setupName = "Setup_ABC.exe";
};

using Scenario = BasicScenario<FaultWorld>;

// Test names and failure messages show the scenario by its name.
template <class World> void PrintTo(const BasicScenario<World>& scenario, std::ostream* out)
{
    *out << scenario.name;
}

inline std::string ScenarioName(const ::testing::TestParamInfo<Scenario>& info)
{
    return info.param.name;
}

// The end every scenario is judged by; run inside a test.
inline void ExpectEnd(FaultWorld& world, const Scenario& scenario, const RunResult& result)
{
    ASSERT_TRUE(result.ended) << "no end within " << scenario.bound.count() << " s";
    EXPECT_LE(result.elapsed, std::chrono::milliseconds(scenario.bound));
    EXPECT_EQ(world.ChangesOutside(), std::vector<std::string>{});

    switch (scenario.end)
    {
    case End::SetupLaunched:
    {
        ASSERT_TRUE(result.described);
        const auto launched = world.FileLaunches(1);
        ASSERT_EQ(launched, std::vector<std::string>{world.LocalPath(scenario.setupName).string()});
        // The bytes started are the release's.
        EXPECT_TRUE(enginetest::ReadFileText(launched[0]) == world.files[0].content);
        for (size_t i = 1; i < world.files.size(); ++i)
        {
            const std::string local =
                nd::StringUtils::ToUtf8(world.core->GetDownloadManager()->MakeLocalFileName(
                    nd::StringUtils::FromUtf8(world.files[i].name)));
            EXPECT_TRUE(enginetest::ReadFileText(world.LocalPath(local)) == world.files[i].content) << local;
        }
        break;
    }
    case End::ErrorNoSetup:
        ASSERT_TRUE(result.described);
        EXPECT_GT(nd::GetErrorCount(), 0u) << "an error end must leave the error screen something to show";
        EXPECT_EQ(world.FileLaunches(0), std::vector<std::string>{});
        break;
    case End::RefusedAtRequest:
        EXPECT_FALSE(result.described);
        EXPECT_EQ(world.RequestsFor(kListPath), 0u);
        EXPECT_EQ(world.FileLaunches(0), std::vector<std::string>{});
        break;
    }
    for (const auto& text : scenario.records)
        EXPECT_TRUE(enginetest::AnyRecordContains(text)) << "no record contains: " << text;
    if (scenario.verify)
        scenario.verify(world);
}

// A parameterised suite over scenarios: arrange, run the program, judge the end.
class ScenarioTest : public ::testing::TestWithParam<Scenario>
{
protected:
    void SetUp() override { ASSERT_TRUE(world.Open()); }

    void RunScenario()
    {
        const Scenario& scenario = GetParam();
        world.ServeRelease();
        scenario.arrange(world);
        const RunResult result = world.RunProgram(std::chrono::milliseconds(scenario.bound));
        ExpectEnd(world, scenario, result);
    }

    FaultWorld world;
};

} // namespace reliability
