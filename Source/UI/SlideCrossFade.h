#pragma once
// The side panel's slideshow clock: every slide interval the shown slide hands over to the next
// one with a one-second eased cross-fade. The fade runs back and forth instead of restarting, and
// the two drawn indices swap roles at every change, so the outgoing image always starts fully
// visible and the incoming one fully transparent: no image ever jumps.

#include <cstdint>

namespace nd
{

class SlideCrossFade
{
public:
    // Ease-in-out sine: 0 at 0, 1 at 1, flat at both ends.
    static double Ease(double t);

    // Advances the fade and the countdown by one frame. currentSlide, nextSlide and countdown are
    // the screens object's fields; slideCount must be at least 2 (with fewer nothing is shown and
    // nothing advances).
    void Advance(float deltaSeconds, int32_t slideCount, float interval, int32_t& currentSlide,
                 int32_t& nextSlide, float& countdown);

    int32_t First() const { return slideA; }
    int32_t Second() const { return slideB; }
    // Opacity of the second image; the first is drawn with 1 minus it.
    double SecondAlpha() const { return Ease(slideFade); }
    int32_t Direction() const { return slideDirection; }
    float Fade() const { return slideFade; }
    // The images are blended, neither fully shown.
    bool Blending() const { return slideFade > 0.0f && slideFade < 1.0f; }

private:
    int32_t slideDirection = -1;
    float slideFade = 0.0f;
    int32_t slideA = 0;
    int32_t slideB = 1;
};

} // namespace nd
