#include "UI/ScreenFade.h"

#include <algorithm>

namespace nd
{

bool ScreenFade::Begin(float windowOpacity)
{
    if (fade == 0.0f)
        drivesWindow = windowOpacity != 1.0f;
    return drivesWindow;
}

void ScreenFade::Advance()
{
    fade = std::min(fade + kStep, 1.0f);
}

int ScreenFade::Alpha() const
{
    return FadeAlpha(fade);
}

int FadeAlpha(float fade)
{
    return static_cast<int>(std::clamp(fade, 0.0f, 1.0f) * 255.0f);
}

} // namespace nd
