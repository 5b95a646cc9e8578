#include "UI/SlideCrossFade.h"

#include <algorithm>
#include <cmath>

namespace nd
{

double SlideCrossFade::Ease(double t)
{
    return 0.5 * (1.0 + std::sin(3.1415926 * (t - 0.5)));
}

void SlideCrossFade::Advance(float deltaSeconds, int32_t slideCount, float interval, int32_t& currentSlide,
                             int32_t& nextSlide, float& countdown)
{
    if (slideCount < 2)
        return;
    if (slideDirection == 1)
        slideFade = std::min(slideFade + deltaSeconds, 1.0f);
    else
        slideFade = std::max(slideFade - deltaSeconds, 0.0f);

    countdown -= deltaSeconds;
    if (countdown >= 0.0f)
        return;
    countdown = interval;
    nextSlide = currentSlide + 1 < slideCount ? currentSlide + 1 : 0;
    slideDirection = -slideDirection;
    if (slideDirection == 1)
    {
        slideA = currentSlide;
        slideB = nextSlide;
    }
    else
    {
        slideA = nextSlide;
        slideB = currentSlide;
    }
    currentSlide = nextSlide;
}

} // namespace nd
