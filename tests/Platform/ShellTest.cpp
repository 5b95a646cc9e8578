#include "Platform/Shell.h"

#include <gtest/gtest.h>

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
        std::ofstream(folder / "bin" / "xdg-open") << "#!/bin/sh\n{ printf 'cwd=%s\\n' \"$PWD\"; for a in "
                                                      "\"$@\"; do printf 'arg=%s\\n' \"$a\"; done; "
                                                      "printf 'end\\n'; } >> '"
                                                   << log.string() << "'\n";
        fs::permissions(folder / "bin" / "xdg-open", fs::perms::owner_all);
        oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", ((folder / "bin").string() + ":" + oldPath).c_str(), 1);
    }

    void TearDown() override
    {
        setenv("PATH", oldPath.c_str(), 1);
        fs::remove_all(folder);
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

} // namespace
} // namespace Platform
