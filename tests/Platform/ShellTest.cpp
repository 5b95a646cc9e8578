#include "Platform/Shell.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace Platform
{
namespace
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Puts a recording xdg-open first on PATH: one "cwd=", "arg=" per argument and "end" per launch.
class ShellTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/norvia-shell-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        fs::create_directories(folder / "bin");
        log = folder / "launches.txt";
        UseOpener("{ printf 'cwd=%s\\n' \"$PWD\"; for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done; "
                  "printf 'end\\n'; } >> '" +
                  log.string() + "'");
        oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", ((folder / "bin").string() + ":" + oldPath).c_str(), 1);
    }

    void TearDown() override
    {
        setenv("PATH", oldPath.c_str(), 1);
        fs::remove_all(folder);
    }

    void UseOpener(const std::string& script) const
    {
        std::ofstream(folder / "bin" / "xdg-open") << "#!/bin/sh\n" << script << "\n";
        fs::permissions(folder / "bin" / "xdg-open", fs::perms::owner_all);
    }

    // The records of the first launch, once it has ended.
    std::string WaitForLaunch() const
    {
        for (int i = 0; i < 250; ++i)
        {
            std::ifstream in(log);
            std::stringstream text;
            text << in.rdbuf();
            if (text.str().find("end\n") != std::string::npos)
                return text.str();
            std::this_thread::sleep_for(20ms);
        }
        return {};
    }

    fs::path folder;
    fs::path log;
    std::string oldPath;
};

TEST_F(ShellTest, OpenPassesTheTargetAsOneArgumentInTheWorkingFolder)
{
    const std::string target = (folder / "Setup $(touch pwned); `touch pwned2` 'a b'.exe").string();
    const ShellResult result = ShellExecute(ShellVerb::Open, target, folder.string());
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.errorNumber, 0);
    EXPECT_EQ(WaitForLaunch(), "cwd=" + folder.string() + "\narg=" + target + "\nend\n");
    EXPECT_FALSE(fs::exists(folder / "pwned"));
    EXPECT_FALSE(fs::exists(folder / "pwned2"));
}

TEST_F(ShellTest, ExploreShowsTheFolderOfAFile)
{
    std::ofstream(folder / "Setup.exe") << "x";
    EXPECT_TRUE(ShellExecute(ShellVerb::Explore, (folder / "Setup.exe").string(), folder.string()).started);
    EXPECT_EQ(WaitForLaunch(), "cwd=" + folder.string() + "\narg=" + folder.string() + "\nend\n");
}

TEST_F(ShellTest, ExploreOfAFolderShowsThatFolder)
{
    fs::create_directories(folder / "sub");
    EXPECT_TRUE(ShellExecute(ShellVerb::Explore, (folder / "sub").string(), {}).started);
    EXPECT_NE(WaitForLaunch().find("arg=" + (folder / "sub").string() + "\n"), std::string::npos);
}

TEST_F(ShellTest, AddressIsHandedOverUnchanged)
{
    const std::string address = "https://support.localhost/help/download-manager-not-working?a=1&b=2";
    EXPECT_TRUE(ShellExecute(ShellVerb::Open, address, {}).started);
    EXPECT_NE(WaitForLaunch().find("arg=" + address + "\nend\n"), std::string::npos);
}

TEST_F(ShellTest, MissingOpenerIsAFailureWithItsErrorNumber)
{
    setenv("PATH", (folder / "empty").string().c_str(), 1);
    const ShellResult result = ShellExecute(ShellVerb::Open, "/tmp/x", {});
    EXPECT_FALSE(result.started);
    EXPECT_EQ(result.errorNumber, ENOENT);
}

TEST_F(ShellTest, MissingWorkingFolderIsAFailure)
{
    const ShellResult result = ShellExecute(ShellVerb::Open, "/tmp/x", (folder / "none").string());
    EXPECT_FALSE(result.started);
    EXPECT_NE(result.errorNumber, 0);
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(ShellTest, WaitedStartTellsTheOpenersEnd)
{
    struct Row
    {
        const char* script;
        uint32_t waitMs;
        bool started;
        const char* failure;
    };
    const Row rows[] = {
        {"exit 0", 20000, true, ""},
        {"exit 3", 20000, false, "xdg-open exited with status 3"},
        {"kill -TERM $$", 20000, false, "xdg-open was ended by signal 15"},
        {"sleep 2", 200, true, ""}, // still running when the wait is over: it did start
    };
    for (const Row& row : rows)
    {
        UseOpener(row.script);
        const ShellResult result = ShellExecute(ShellVerb::Open, "/tmp/x", {}, row.waitMs);
        EXPECT_EQ(result.started, row.started) << row.script;
        EXPECT_EQ(result.failure, row.failure) << row.script;
    }
}

TEST_F(ShellTest, ClearedFlagEndsTheWaitForARunningOpener)
{
    // Its failure would come later than the caller wants to wait.
    UseOpener("printf 'end\\n' >> '" + log.string() + "'; sleep 1; exit 3");
    const std::atomic<bool> keepWaiting{false};
    const ShellResult result = ShellExecute(ShellVerb::Open, "/tmp/x", {}, 60000, &keepWaiting);
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.failure.empty());
    EXPECT_FALSE(WaitForLaunch().empty());
}

} // namespace
} // namespace Platform
