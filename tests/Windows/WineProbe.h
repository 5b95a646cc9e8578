#pragma once
// Runs the Windows build's probe (and other Windows programs) under wine from a Linux test, in
// the tests' own prefix, and reads its answer. The prefix, its trusted CA and the hosts file are
// made by the CTest fixture Windows.Prefix (prepare-wine.sh); a test run without them fails.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace wintest
{

namespace fs = std::filesystem;

// What the build put where: the Windows build folder and the tests' wine folder.
fs::path WindowsBuildFile(const std::string& name);
fs::path WineFolder();

// Points this process at the wine world (the PKI the prefix trusts) before any server starts;
// the text of what is missing, empty when everything is there.
std::string PrepareWineWorld();

// A Linux path as a Windows program under wine sees it ("Z:/tmp/x").
std::string WindowsPath(const fs::path& path);

struct ProbeResult
{
    int exitStatus = -1;   // -1: it did not end within the limit
    nlohmann::json answer; // the probe's JSON, null when it printed none
    std::string output;    // everything it printed, for failure messages
};

// Runs norvia_probe with the arguments in this process's environment (NORVIA_*_HOST, PATH...);
// launcherOptions go to scripts/wine-run.sh (for example "--file-size-limit", "2048").
ProbeResult RunProbe(const std::vector<std::string>& arguments,
                     std::chrono::seconds limit = std::chrono::seconds(180),
                     const std::vector<std::string>& launcherOptions = {});

// The error-log records the probe reported.
bool AnyRecordContains(const nlohmann::json& answer, const std::string& text);
bool AnyRecordWith(const nlohmann::json& answer, const std::string& text, int32_t errorNumber);
size_t RecordsStartingWith(const nlohmann::json& answer, const std::string& text);

} // namespace wintest
