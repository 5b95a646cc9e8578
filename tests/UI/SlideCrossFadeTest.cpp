#include "UI/SlideCrossFade.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

using nd::SlideCrossFade;

// The slideshow as DrawSidePanel drives it, with the screens object's fields.
struct Show
{
    SlideCrossFade fade;
    int32_t current = 0;
    int32_t next = 0;
    float countdown = 15.0f;
    int32_t count;

    explicit Show(int32_t slides) : count(slides) {}

    void Run(float seconds, float step = 0.25f)
    {
        for (float t = 0.0f; t < seconds - 1e-4f; t += step)
            fade.Advance(step, count, 15.0f, current, next, countdown);
    }
    // Seconds until the current slide changes.
    float RunUntilChange(float step = 0.25f)
    {
        const int32_t before = current;
        float waited = 0.0f;
        while (current == before && waited < 100.0f)
        {
            fade.Advance(step, count, 15.0f, current, next, countdown);
            waited += step;
        }
        return waited;
    }
    // The slide that is fully visible, or -1 while a cross-fade is under way.
    int32_t Shown() const
    {
        const double second = fade.SecondAlpha();
        if (second <= 1e-9)
            return fade.First();
        if (second >= 1.0 - 1e-9)
            return fade.Second();
        return -1;
    }
};

TEST(SlideEasing, RunsFromZeroToOneSmoothly)
{
    EXPECT_NEAR(SlideCrossFade::Ease(0.0), 0.0, 1e-12);
    EXPECT_NEAR(SlideCrossFade::Ease(1.0), 1.0, 1e-12);
    EXPECT_NEAR(SlideCrossFade::Ease(0.5), 0.5, 1e-9);
    // Slow at the ends, fast in the middle.
    EXPECT_LT(SlideCrossFade::Ease(0.1), 0.1);
    EXPECT_GT(SlideCrossFade::Ease(0.9), 0.9);
    double previous = 0.0;
    for (int i = 1; i <= 100; ++i)
    {
        const double value = SlideCrossFade::Ease(i / 100.0);
        EXPECT_GT(value, previous);
        previous = value;
    }
}

TEST(SlideShow, FirstSlideShowsAloneForTheWholeInterval)
{
    Show show(2);
    show.Run(14.75f);
    EXPECT_EQ(show.Shown(), 0);
    EXPECT_EQ(show.current, 0);
}

TEST(SlideShow, TwoSlidesAlternateWithOneSecondEasedFades)
{
    Show show(2);
    std::vector<int32_t> shown;
    for (int change = 0; change < 4; ++change)
    {
        // The interval counts from the previous change, one second of fade included.
        const float waited = show.RunUntilChange() + (change == 0 ? 0.0f : 1.0f);
        EXPECT_GE(waited, 15.0f);
        EXPECT_LE(waited, 15.5f);
        show.Run(0.5f);
        EXPECT_EQ(show.Shown(), -1) << "half way through the fade";
        show.Run(0.5f); // a cross-fade takes one second
        shown.push_back(show.Shown());
    }
    EXPECT_EQ(shown, (std::vector<int32_t>{1, 0, 1, 0}));
}

TEST(SlideShow, ThreeSlidesGoInOrderAndWrapAround)
{
    Show show(3);
    std::vector<int32_t> shown;
    for (int change = 0; change < 5; ++change)
    {
        show.RunUntilChange();
        show.Run(1.0f);
        shown.push_back(show.Shown());
        EXPECT_EQ(show.Shown(), show.current);
    }
    EXPECT_EQ(shown, (std::vector<int32_t>{1, 2, 0, 1, 2}));
}

TEST(SlideShow, NoImageJumpsWhenTheFadeChangesDirection)
{
    // At each change the picture must stay as it was, then the slide shown before fades out
    // while the new current slide fades in from transparent.
    Show show(3);
    for (int change = 0; change < 6; ++change)
    {
        show.Run(1.0f);
        const int32_t before = show.Shown();
        ASSERT_NE(before, -1);
        show.RunUntilChange();
        EXPECT_EQ(show.Shown(), before) << "change " << change;
        show.Run(0.25f);
        const double second = show.fade.SecondAlpha();
        ASSERT_GT(second, 0.0);
        ASSERT_LT(second, 1.0);
        const bool forward = show.fade.Direction() == 1;
        const int32_t outgoing = forward ? show.fade.First() : show.fade.Second();
        const int32_t incoming = forward ? show.fade.Second() : show.fade.First();
        const double outgoingWeight = forward ? 1.0 - second : second;
        EXPECT_EQ(outgoing, before);
        EXPECT_EQ(incoming, show.current);
        EXPECT_GT(outgoingWeight, 0.5);
    }
}

TEST(SlideShow, FewerThanTwoSlidesNeverAdvance)
{
    for (int32_t count : {0, 1})
    {
        Show show(count);
        show.Run(40.0f);
        EXPECT_EQ(show.current, 0);
        EXPECT_FLOAT_EQ(show.countdown, 15.0f);
        EXPECT_FLOAT_EQ(show.fade.Fade(), 0.0f);
    }
}

TEST(SlideShow, LongFrameChangesOnlyOneSlide)
{
    // The first progress frame may carry the seconds the description request blocked.
    Show show(3);
    show.fade.Advance(40.0f, 3, 15.0f, show.current, show.next, show.countdown);
    EXPECT_EQ(show.current, 1);
    EXPECT_FLOAT_EQ(show.countdown, 15.0f);
}

} // namespace
