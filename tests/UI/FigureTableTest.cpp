#include "UI/FigureTable.h"

#include <gtest/gtest.h>

namespace
{

TEST(FigureSampling, FirstCallOnlyStartsTheClock)
{
    nd::FigureTable table;
    EXPECT_FALSE(table.SampleDue(42.0));
    EXPECT_FALSE(table.SampleDue(42.5));
    EXPECT_FALSE(table.SampleDue(43.0)); // exactly one second is not more than one
    EXPECT_TRUE(table.SampleDue(43.01));
}

TEST(FigureSampling, AtMostOnceASecond)
{
    nd::FigureTable table;
    int samples = 0;
    for (int frame = 0; frame <= 600; ++frame) // ten seconds at 60 frames per second
        samples += table.SampleDue(frame / 60.0) ? 1 : 0;
    EXPECT_GE(samples, 8);
    EXPECT_LE(samples, 10);
}

TEST(FigureText, EmptyBeforeTheFirstSample)
{
    const nd::FigureTable table;
    EXPECT_EQ(table.installerText, "");
    EXPECT_EQ(table.SizeText(), "0 B");
    EXPECT_EQ(table.DownloadedText(), "0 B");
    EXPECT_EQ(table.SpeedText(), "0 B/s");
    EXPECT_EQ(table.RemainingText(), "0h : 0m : 0s");
}

TEST(FigureText, ValuesAfterASample)
{
    nd::FigureTable table;
    table.totalBytes = 2480343613ull;  // 2.31 GB
    table.downloadedBytes = 536870912; // 512.00 MB
    table.bytesPerSecond = 3617587;    // 3.45 MB
    table.hours = 0;
    table.minutes = 8;
    table.seconds = 25;
    EXPECT_EQ(table.SizeText(), "2.31 GB");
    EXPECT_EQ(table.DownloadedText(), "512.00 MB");
    EXPECT_EQ(table.SpeedText(), "3.45 MB/s");
    EXPECT_EQ(table.RemainingText(), "0h : 8m : 25s");
    table.hours = 12;
    table.minutes = 0;
    table.seconds = 7;
    EXPECT_EQ(table.RemainingText(), "12h : 0m : 7s"); // no leading zeros
}

} // namespace
