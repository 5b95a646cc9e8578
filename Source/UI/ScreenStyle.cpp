#include "UI/ScreenStyle.h"

namespace nd::ScreenStyle
{

std::string PercentText(float progress)
{
    return std::to_string(static_cast<int>(progress * 100.0f)) + "%";
}

bool PercentTextIsDark(float textX, float barX, float barWidth, float progress)
{
    return textX > barX + barWidth * progress;
}

} // namespace nd::ScreenStyle
