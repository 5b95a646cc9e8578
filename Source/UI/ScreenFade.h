#pragma once
// The fade-in of a screen after the splash. It advances by a fixed step per frame, not by time,
// so a fade lasts 100 frames. Whether it also drives the window's opacity is decided once, on the
// screen's first frame: a window that is already fully opaque is left alone.

namespace nd
{

class ScreenFade
{
public:
    static constexpr float kStep = 0.01f;

    // Call at the start of each frame of the screen with the window's current opacity; returns
    // true when this frame must set the window opacity to Value().
    bool Begin(float windowOpacity);
    // Call once at the end of each frame of the screen.
    void Advance();

    float Value() const { return fade; }
    // Colour alpha of the fade, truncated as every faded colour is.
    int Alpha() const;

private:
    float fade = 0.0f;
    bool drivesWindow = false;
};

// (int)(fade x 255), truncated; fade is clamped to 0..1 first so a colour never wraps.
int FadeAlpha(float fade);

} // namespace nd
