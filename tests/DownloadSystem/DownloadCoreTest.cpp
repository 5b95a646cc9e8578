// The front-end's arithmetic and names; its runs are covered by the engine tests.

#include "DownloadSystem/DownloadCore.h"

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/DownloadManager.h"
#include "DownloadSystem/SpeedMeter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace DownloadSystem
{
namespace
{

// Puts an environment variable back as it was when the object goes, for the tests that follow.
struct SavedEnvironment
{
    explicit SavedEnvironment(const char* name) : name(name)
    {
        if (const char* value = std::getenv(name))
            saved = value;
    }
    ~SavedEnvironment() { saved ? setenv(name, saved->c_str(), 1) : unsetenv(name); }

    const char* name;
    std::optional<std::string> saved;
};

TEST(ReleaseNames, ProgramWithoutExtension)
{
    const ReleaseNames names(u"/dl/Norvia_3_2_Home_Download");
    EXPECT_EQ(names.ProgramFolder(), u"/dl");
    EXPECT_EQ(names.ReleaseName(), u"Norvia_3_2_Home");
    EXPECT_EQ(names.ReleaseVersionFolder(), u"3");
    EXPECT_EQ(names.FileListName(), u"Norvia_3_2_Home.txt");
}

TEST(ReleaseNames, ProgramFolderIsNeverEmpty)
{
    EXPECT_EQ(ReleaseNames(u"Norvia_3_2_Home_Download").ProgramFolder(), u".");
    EXPECT_EQ(ReleaseNames(u"/Norvia_3_2_Home_Download").ProgramFolder(), u"/");
}

// The release name is the program's file name without a final ".exe", cut at its last "_".
TEST(ReleaseNames, ReleaseNameFromTheProgramName)
{
    struct Case
    {
        const char16_t* program;
        const char16_t* release;
    };
    const Case cases[] = {
        {u"/dl/Norvia_3_2_Home_Download.exe", u"Norvia_3_2_Home"},
        // Only a final ".exe" counts as the extension: here the whole name is cut at its last "_".
        {u"/dl/Norvia_3_2_Home_Download.bin", u"Norvia_3_2_Home"},
        {u"/dl/Norvia_3_x.exe_Download", u"Norvia_3_x.exe"},
        // A name without "_" has no release, whatever its folders hold.
        {u"/dl/NorviaDownload", u""},
        {u"/dl/under_score/NorviaDownload.exe", u""},
        {u"/dl/.exe", u""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(nd::StringUtils::ToNarrow(c.program));
        EXPECT_EQ(ReleaseNames(c.program).ReleaseName(), c.release);
    }
}

TEST(ReleaseNames, VersionFolderNeedsThreePieces)
{
    EXPECT_EQ(ReleaseNames(u"/dl/Norvia_3_Download").ReleaseVersionFolder(), u"");
    EXPECT_EQ(ReleaseNames(u"/dl/Norvia__3__2_Download").ReleaseVersionFolder(), u"3");
    EXPECT_EQ(ReleaseNames(u"/dl/Norvia_2_5_Viewer_Download").ReleaseVersionFolder(), u"2");
}

TEST(ReleaseNames, DataFolderIsUnderTheUserDataFolder)
{
    const SavedEnvironment dataHome("XDG_DATA_HOME"), home("HOME");
    setenv("XDG_DATA_HOME", "/tmp/xdg-data", 1);
    EXPECT_EQ(ReleaseNames(u"/dl/Norvia_3_2_Home_Download").DataFolder(), u"/tmp/xdg-data/Norvia_3_2_Home");
    setenv("XDG_DATA_HOME", "relative/ignored", 1);
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(ReleaseNames(u"/dl/Norvia_3_2_Home_Download").DataFolder(),
              u"/home/u/.local/share/Norvia_3_2_Home");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(ReleaseNames(u"/dl/Norvia_3_2_Home_Download").DataFolder(),
              u"/home/u/.local/share/Norvia_3_2_Home");
    // Without HOME the account's home folder is used, never the root.
    unsetenv("HOME");
    const std::u16string fallback = ReleaseNames(u"/dl/Norvia_3_2_Home_Download").DataFolder();
    const std::u16string tail = u"/.local/share/Norvia_3_2_Home";
    ASSERT_GT(fallback.size(), tail.size() + 1);
    EXPECT_EQ(fallback.substr(fallback.size() - tail.size()), tail);
}

TEST(SpeedMeter, AveragesOverWholeSeconds)
{
    SpeedMeter meter;
    EXPECT_EQ(meter.Sample(5000, false, 0), 0u);
    // Below two seconds the divisor is one second.
    EXPECT_EQ(meter.Sample(6500, false, 3000), 3000u);
    EXPECT_EQ(meter.Sample(9000, false, 8000), 2000u);
}

TEST(SpeedMeter, PausedTimeIsLeftOut)
{
    SpeedMeter meter;
    meter.Sample(0, false, 0);
    EXPECT_EQ(meter.Sample(10000, false, 100000), 10000u);
    // Paused from 10 s to 40 s, sampled once a second: the speed reads 0 meanwhile.
    for (uint64_t t = 11000; t <= 40000; t += 1000)
        EXPECT_EQ(meter.Sample(t, true, 100000), 0u);
    // 20 s later the elapsed time is 30 s of running, not 60 s.
    EXPECT_EQ(meter.Sample(60000, false, 300000), 10000u);
}

TEST(SpeedMeter, ResultIsCutTo32Bits)
{
    SpeedMeter meter;
    meter.Sample(0, false, 0);
    EXPECT_EQ(meter.Sample(1000, false, 0x1'0000'0005ull), 5u);
}

TEST(DownloadCore, PauseTogglesWithAManager)
{
    DownloadCore core(u"/tmp/Norvia_3_2_Home_Download");
    ASSERT_NE(core.GetDownloadManager(), nullptr);
    EXPECT_FALSE(core.IsPaused());
    EXPECT_TRUE(core.TogglePause());
    EXPECT_TRUE(core.IsPaused());
    EXPECT_FALSE(core.TogglePause());
}

TEST(DownloadCore, NothingDownloadedGivesNoRemainingTime)
{
    DownloadCore core(u"/tmp/Norvia_3_2_Home_Download");
    const RemainingTime remaining = core.GetRemainingTime();
    EXPECT_EQ(remaining.hours + remaining.minutes + remaining.seconds, 0u);
    EXPECT_EQ(core.GetSpeed(), 0u);
}

TEST(DownloadCore, ProgramNameWithoutReleaseFailsTheRequestWithAnError)
{
    nd::ClearErrors();
    const SavedEnvironment service("NORVIA_SERVICE_HOST");
    setenv("NORVIA_SERVICE_HOST", "127.0.0.1:1", 1);
    DownloadCore core(u"/tmp/NorviaDownload");
    EXPECT_FALSE(core.RequestDescription());
    ASSERT_EQ(nd::GetErrorCount(), 1u);
    const auto records = nd::GetLogRecords();
    ASSERT_FALSE(records.empty());
    EXPECT_NE(records.back()["message"].get<std::string>().find("/tmp/NorviaDownload"), std::string::npos);
}

TEST(DownloadCore, FoldersComeFromTheProgramPath)
{
    DownloadCore core(u"/opt/dl/Norvia_3_2_Home_Download");
    EXPECT_EQ(core.GetProgramFolder(), u"/opt/dl");
    EXPECT_EQ(core.GetReleaseName(), u"Norvia_3_2_Home");
    EXPECT_EQ(core.GetFileListName(), u"Norvia_3_2_Home.txt");
}

TEST(Percentages, ThousandsAreCountedAndTruncated)
{
    EXPECT_EQ(ThousandsPercent(1, 1500, 3000), 33u);
    EXPECT_EQ(ThousandsPercent(3, 3999, 3999), 100u);
    EXPECT_EQ(ThousandsPercent(0, 0, 5000), 0u);
}

TEST(Percentages, SmallTotalsStayBetween0And100)
{
    EXPECT_EQ(ThousandsPercent(0, 50, 200), 25u);
    EXPECT_EQ(ThousandsPercent(0, 200, 200), 100u);
    EXPECT_EQ(ThousandsPercent(0, 0, 0), 0u);
    EXPECT_EQ(ThousandsPercent(0, 900, 300), 100u);
    EXPECT_EQ(ThousandsPercent(9, 9000, 3000), 100u);
}

TEST(RemainingTime, SplitsSecondsIntoHoursMinutesSeconds)
{
    const RemainingTime remaining = RemainingTimeFor(0, 10'000'000, 100'000);
    EXPECT_EQ(remaining.hours, 0u);
    EXPECT_EQ(remaining.minutes, 1u);
    EXPECT_EQ(remaining.seconds, 40u);

    const RemainingTime long_ = RemainingTimeFor(1, 1 + 3600ull * 5 + 61, 1);
    EXPECT_EQ(long_.hours, 5u);
    EXPECT_EQ(long_.minutes, 1u);
    EXPECT_EQ(long_.seconds, 1u);
}

TEST(RemainingTime, MoreDoneThanTotalGivesZeros)
{
    const RemainingTime remaining = RemainingTimeFor(2000, 1000, 10);
    EXPECT_EQ(remaining.hours + remaining.minutes + remaining.seconds, 0u);
    const RemainingTime noSpeed = RemainingTimeFor(10, 1000, 0);
    EXPECT_EQ(noSpeed.hours + noSpeed.minutes + noSpeed.seconds, 0u);
}

} // namespace
} // namespace DownloadSystem
