#pragma once
// What the frame on screen was drawn from, so that a frame that would draw exactly the same pixels
// is neither drawn nor presented. With software drawing, redrawing an unchanged window sixty times
// a second is most of the program's work. Main thread only.

#include <cstdint>
#include <vector>

struct ImDrawData;

namespace nd
{

class PresentedFrame
{
  public:
    // True when drawData would draw what is on screen: the same display rectangle and scale, the
    // same vertices and indices, and commands with the same clip rectangles, counts and textures
    // (fontTexture for commands without a handle, as the renderer binds them). Never true after
    // Forget, for a frame with a callback of its own (its drawing cannot be compared) or before a
    // frame was remembered.
    bool Shows(const ImDrawData& drawData, uint32_t fontTexture);
    // Records drawData as the frame now on screen.
    void Remember();
    // The screen no longer shows the remembered frame (exposed, resized, scale changed).
    void Forget();
    // A remembered frame is on screen (none was forgotten since).
    bool HasFrame() const { return valid; }

  private:
    // Shows builds the new frame's description here; Remember keeps it.
    std::vector<uint8_t> candidate;
    bool candidateComparable = false;
    std::vector<uint8_t> onScreen;
    bool valid = false;
};

} // namespace nd
