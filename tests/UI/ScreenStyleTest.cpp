#include "UI/ScreenStyle.h"

#include <gtest/gtest.h>

namespace
{

using namespace nd::ScreenStyle;

TEST(PercentText, TruncatesTowardZero)
{
    EXPECT_EQ(PercentText(0.0f), "0%");
    EXPECT_EQ(PercentText(0.5f), "50%");
    EXPECT_EQ(PercentText(0.999f), "99%");
    EXPECT_EQ(PercentText(1.0f), "100%");
}

TEST(ShortenInMiddle, KeepsHeadAndTailAroundTheDotsWithoutCuttingACharacter)
{
    // One unit per byte, so a two-byte character counts twice.
    const auto bytes = [](const std::string& text) { return static_cast<float>(text.size()); };
    const std::string e = "\xC3\xA9";
    const struct
    {
        std::string text;
        float room;
        std::string shown;
    } rows[] = {
        {"/home/user", 10.0f, "/home/user"},
        {"/home/user", 9.0f, "/ho...ser"},
        {"ab" + e + "cdefgh", 8.0f, "ab...gh"}, // a head of 3 bytes would end inside the character
        {"ab" + e + "cdefgh", 9.0f, "ab" + e + "...gh"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ShortenInMiddle(row.text, row.room, bytes), row.shown) << row.text << " in " << row.room;
}

TEST(Colours, AccentsAndDarkText)
{
    EXPECT_EQ(Accent(), IM_COL32(65, 117, 139, 255));
    EXPECT_EQ(AccentPressed(), IM_COL32(77, 137, 164, 255));
    EXPECT_EQ(Dark(128), IM_COL32(10, 10, 10, 128));
}

} // namespace
