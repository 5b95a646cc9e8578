#pragma once
// Draws the UI library's draw data with the OpenGL 1.x fixed-function pipeline. Main thread, with the
// context current; saves and restores the OpenGL state it changes.

#include <cstdint>

struct ImDrawData;

namespace nd
{

class UiRenderer
{
  public:
    // Commands without a texture handle draw with fontTexture (an OpenGL texture name, 0 for none);
    // other handles are texture identifiers (Texture::UiHandle) resolved through FindTexture, and an
    // unknown one leaves the previous binding in place.
    static void RenderDrawData(ImDrawData* drawData, uint32_t fontTexture);

    // Framebuffer pixels per window pixel along one axis; 0 when the window size is not positive.
    static float FramebufferScale(int framebufferSize, int windowSize);

  private:
    static void SetupRenderState(ImDrawData* drawData, int framebufferWidth, int framebufferHeight,
                                 bool saveMatrices);
};

} // namespace nd
