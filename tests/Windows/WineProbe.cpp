#include "WineProbe.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "ChildProcess.h"

namespace wintest
{

namespace
{

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

const nlohmann::json& Records(const nlohmann::json& answer)
{
    static const nlohmann::json none = nlohmann::json::array();
    return answer.is_object() && answer.contains("records") ? answer["records"] : none;
}

} // namespace

fs::path WindowsBuildFile(const std::string& name)
{
    return fs::path(NORVIA_WINDOWS_BUILD_DIR) / name;
}

fs::path WineFolder()
{
    return NORVIA_WINE_FOLDER;
}

std::string PrepareWineWorld()
{
    const fs::path pki = WineFolder() / "pki";
    ::setenv("NORVIA_TEST_PKI", pki.c_str(), 1);
    ::setenv("WINEPREFIX", (WineFolder() / "prefix").c_str(), 1);
    for (const fs::path& needed : {WindowsBuildFile("norvia_probe.exe"), pki / "trusted" / "ca.pem",
                                   WineFolder() / "hosts", WineFolder() / "prefix" / ".norvia-ready"})
    {
        if (!fs::exists(needed))
            return "missing " + needed.string() + " (Windows build and the Windows.Prefix fixture)";
    }
    return {};
}

std::string WindowsPath(const fs::path& path)
{
    return "Z:" + fs::absolute(path).string();
}

ProbeResult RunProbe(const std::vector<std::string>& arguments, std::chrono::seconds limit,
                     const std::vector<std::string>& launcherOptions)
{
    char pattern[] = "/tmp/norvia-probe-XXXXXX";
    const int descriptor = ::mkstemp(pattern);
    if (descriptor >= 0)
        ::close(descriptor);
    const fs::path output = pattern;

    std::vector<std::string> argv{NORVIA_WINE_LAUNCHER, "--hosts", (WineFolder() / "hosts").string()};
    argv.insert(argv.end(), launcherOptions.begin(), launcherOptions.end());
    argv.push_back(WindowsBuildFile("norvia_probe.exe").string());
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ProbeResult result;
    e2e::ChildProcess probe;
    if (probe.Start(argv, e2e::ChildProcess::CurrentEnvironment(), output.string()))
    {
        const auto status = probe.Wait(limit);
        result.exitStatus = status ? *status : -1;
        probe.Stop();
    }
    result.output = ReadAll(output);
    std::error_code ignored;
    fs::remove(output, ignored);
    // The answer is the last line; wine may print notes before it.
    const size_t start = result.output.rfind("\n{");
    const std::string last = start == std::string::npos ? result.output : result.output.substr(start + 1);
    result.answer = nlohmann::json::parse(last, nullptr, false);
    if (result.answer.is_discarded())
        result.answer = nullptr;
    return result;
}

bool AnyRecordContains(const nlohmann::json& answer, const std::string& text)
{
    for (const auto& record : Records(answer))
        if (record["message"].get<std::string>().find(text) != std::string::npos)
            return true;
    return false;
}

bool AnyRecordWith(const nlohmann::json& answer, const std::string& text, int32_t errorNumber)
{
    for (const auto& record : Records(answer))
        if (record["message"].get<std::string>().find(text) != std::string::npos &&
            record["error_number"].get<int32_t>() == errorNumber)
            return true;
    return false;
}

size_t RecordsStartingWith(const nlohmann::json& answer, const std::string& text)
{
    size_t count = 0;
    for (const auto& record : Records(answer))
        count += record["message"].get<std::string>().rfind(text, 0) == 0;
    return count;
}

} // namespace wintest
