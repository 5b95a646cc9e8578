#pragma once
// The drawing conventions every screen shares: its colours, icon glyphs, font keys and the small
// rules for texts that depend on values (percentage text, texts too long for their place).

#include <imgui.h>

#include <cstdint>
#include <functional>
#include <string>

namespace nd::ScreenStyle
{

// Font keys of CoreUI.
constexpr int kFont16 = 2;
constexpr int kFont24 = 3;
constexpr int kFont32 = 4;
constexpr int kFont64 = 5;

// Icon glyphs as UTF-8.
inline constexpr const char* kIconCross = "\xEF\x80\x8D";
inline constexpr const char* kIconPlay = "\xEF\x81\x8B";
inline constexpr const char* kIconPause = "\xEF\x81\x8C";
inline constexpr const char* kIconMinimize = "\xEF\x8B\x91";

inline ImU32 Dark(int alpha = 255)
{
    return IM_COL32(10, 10, 10, alpha);
}
inline ImU32 White(int alpha = 255)
{
    return IM_COL32(255, 255, 255, alpha);
}
inline ImU32 Accent(int alpha = 255)
{
    return IM_COL32(65, 117, 139, alpha);
}
inline ImU32 AccentPressed(int alpha = 255)
{
    return IM_COL32(77, 137, 164, alpha);
}

// "N%" with N = progress x 100 truncated: 99.9 % reads 99%.
std::string PercentText(float progress);
// The text itself when width says it fits in maxWidth; else as much of its head and its tail as
// fits around "..." (just "..." when nothing does). UTF-8 characters are never cut.
std::string ShortenInMiddle(const std::string& text, float maxWidth,
                            const std::function<float(const std::string&)>& width);

} // namespace nd::ScreenStyle
