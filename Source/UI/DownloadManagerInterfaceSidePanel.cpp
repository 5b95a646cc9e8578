// The left half during the progress screen: the cross-fading artwork slideshow and the slogan.

#include "App/Texture.h"
#include "UI/DownloadManagerInterface.h"
#include "UI/ScreenServices.h"
#include "UI/ScreenStyle.h"

#include <imgui.h>

namespace nd
{

namespace
{

// The slides always fill this rectangle, whatever the window size.
const ImVec2 kSlideSize(601.0f, 640.0f);
constexpr float kSloganTop = 190.0f;

} // namespace

void DownloadManagerInterface::DrawSidePanel(float fade)
{
    ScreenServices& host = Services();
    if (!host.UiInitialised())
        return;
    ImDrawList* draw = ImGui::GetWindowDrawList();

    const int32_t slideCount = static_cast<int32_t>(slides.size());
    if (slideCount >= 2)
    {
        slideCrossFade.Advance(host.DeltaSeconds(), slideCount, slideInterval, currentSlide, nextSlide,
                               slideCountdown);
        // Half the frames of the blend are enough for the eye and halve its drawing cost; the
        // fade's timing is unchanged.
        if (slideCrossFade.Blending())
            host.AllowHalfRateFrame();
        const double second = slideCrossFade.SecondAlpha();
        const auto tint = [](double alpha)
        { return ImGui::GetColorU32(ImVec4(1.0f, 1.0f, 1.0f, static_cast<float>(alpha))); };
        draw->AddImage(slides[slideCrossFade.First()]->UiHandle(), ImVec2(0.0f, 0.0f), kSlideSize,
                       ImVec2(0.0f, 0.0f), ImVec2(1.0f, 1.0f), tint(1.0 - second));
        draw->AddImage(slides[slideCrossFade.Second()]->UiHandle(), ImVec2(0.0f, 0.0f), kSlideSize,
                       ImVec2(0.0f, 0.0f), ImVec2(1.0f, 1.0f), tint(second));
    }

    const std::string slogan = "Beautiful Renders Within Reach";
    const Float2 s = MeasureText(ScreenStyle::kFont64, 40.0f, slogan, 0.0f);
    const ImVec2 topLeft(static_cast<float>(host.WindowWidth()) * 0.25f - s.x * 0.5f, kSloganTop);
    const ImVec2 frameMin(topLeft.x - s.y * 0.5f, topLeft.y - s.y * 0.5f);
    const ImVec2 frameMax(topLeft.x + s.x + s.y * 0.5f, topLeft.y + s.y + s.y * 0.5f);
    draw->AddRectFilled(frameMin, frameMax,
                        ImGui::ColorConvertFloat4ToU32(ImVec4(0.1f, 0.1f, 0.1f, 0.4f * fade)), 0.0f);
    draw->AddRect(frameMin, frameMax, ImGui::ColorConvertFloat4ToU32(ImVec4(1.0f, 1.0f, 1.0f, fade)), 0.0f, 0,
                  1.0f);
    DrawText(ScreenStyle::kFont64, 40.0f, topLeft.x, topLeft.y,
             ImGui::ColorConvertFloat4ToU32(ImVec4(1.0f, 1.0f, 1.0f, fade)), slogan);
}

} // namespace nd
