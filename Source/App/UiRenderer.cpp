#include "App/UiRenderer.h"

#include "App/Texture.h"

#include <GL/gl.h>
#include <imgui.h>

#include <cmath>
#include <cstddef>
#include <string>

namespace nd
{

float UiRenderer::FramebufferScale(int framebufferSize, int windowSize)
{
    return windowSize > 0 ? static_cast<float>(framebufferSize) / static_cast<float>(windowSize) : 0.0f;
}

// [SECTION] Render state
// Fixed-function state for alpha-blended, scissored, textured 2D triangles in display coordinates.
// Runs once per draw (saving the caller's matrices) and again, without saving, whenever a command
// list asks for ImDrawCallback_ResetRenderState, so that the matrix stacks stay balanced.
void UiRenderer::SetupRenderState(ImDrawData* drawData, int framebufferWidth, int framebufferHeight,
                                  bool saveMatrices)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_COLOR_MATERIAL);
    glEnable(GL_SCISSOR_TEST);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnable(GL_TEXTURE_2D);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

    glViewport(0, 0, static_cast<GLsizei>(framebufferWidth), static_cast<GLsizei>(framebufferHeight));
    glMatrixMode(GL_PROJECTION);
    if (saveMatrices)
        glPushMatrix();
    glLoadIdentity();
    const ImVec2 origin = drawData->DisplayPos;
    glOrtho(origin.x, origin.x + drawData->DisplaySize.x, origin.y + drawData->DisplaySize.y, origin.y, -1.0f,
            +1.0f);
    glMatrixMode(GL_MODELVIEW);
    if (saveMatrices)
        glPushMatrix();
    glLoadIdentity();
}

// [SECTION] Drawing
void UiRenderer::RenderDrawData(ImDrawData* drawData, uint32_t fontTexture)
{
    if (drawData == nullptr)
        return;
    const ImVec2 scale = drawData->FramebufferScale;
    // Rounded: a display size in design pixels times a fractional scale may fall just short of
    // the whole device pixel it stands for.
    const int framebufferWidth = static_cast<int>(std::lround(drawData->DisplaySize.x * scale.x));
    const int framebufferHeight = static_cast<int>(std::lround(drawData->DisplaySize.y * scale.y));
    if (framebufferWidth <= 0 || framebufferHeight <= 0)
        return;

    // Saved so that the caller's OpenGL state survives the UI pass.
    GLint lastTexture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &lastTexture);
    GLint lastPolygonMode[2] = {};
    glGetIntegerv(GL_POLYGON_MODE, lastPolygonMode);
    GLint lastViewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, lastViewport);
    GLint lastScissorBox[4] = {};
    glGetIntegerv(GL_SCISSOR_BOX, lastScissorBox);
    GLint lastTexEnvMode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &lastTexEnvMode);
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TRANSFORM_BIT);

    SetupRenderState(drawData, framebufferWidth, framebufferHeight, true);

    const ImVec2 clipOffset = drawData->DisplayPos;
    for (int n = 0; n < drawData->CmdListsCount; ++n)
    {
        const ImDrawList* list = drawData->CmdLists[n];
        const ImDrawVert* vertices = list->VtxBuffer.Data;
        const ImDrawIdx* indices = list->IdxBuffer.Data;
        const char* base = reinterpret_cast<const char*>(vertices);
        glVertexPointer(2, GL_FLOAT, sizeof(ImDrawVert), base + offsetof(ImDrawVert, pos));
        glTexCoordPointer(2, GL_FLOAT, sizeof(ImDrawVert), base + offsetof(ImDrawVert, uv));
        glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(ImDrawVert), base + offsetof(ImDrawVert, col));

        for (int i = 0; i < list->CmdBuffer.Size; ++i)
        {
            const ImDrawCmd* cmd = &list->CmdBuffer[i];
            if (cmd->UserCallback != nullptr)
            {
                if (cmd->UserCallback == ImDrawCallback_ResetRenderState)
                    SetupRenderState(drawData, framebufferWidth, framebufferHeight, false);
                else
                    cmd->UserCallback(list, cmd);
            }
            else
            {
                const ImVec4 clip(
                    (cmd->ClipRect.x - clipOffset.x) * scale.x, (cmd->ClipRect.y - clipOffset.y) * scale.y,
                    (cmd->ClipRect.z - clipOffset.x) * scale.x, (cmd->ClipRect.w - clipOffset.y) * scale.y);
                if (clip.x < framebufferWidth && clip.y < framebufferHeight && clip.z >= 0.0f &&
                    clip.w >= 0.0f)
                {
                    // Window y grows downwards, OpenGL's upwards.
                    glScissor(static_cast<GLint>(clip.x), static_cast<GLint>(framebufferHeight - clip.w),
                              static_cast<GLsizei>(clip.z - clip.x), static_cast<GLsizei>(clip.w - clip.y));
                    if (cmd->TextureId == nullptr)
                    {
                        glBindTexture(GL_TEXTURE_2D, fontTexture);
                    }
                    else
                    {
                        // A handle is a texture identifier's text (Texture::UiHandle); an unknown one
                        // keeps whatever texture is bound.
                        const char* identifier = static_cast<const char*>(cmd->TextureId);
                        if (identifier[0] != '\0')
                            if (auto texture = FindTexture(identifier))
                                glBindTexture(GL_TEXTURE_2D, texture->GetGlName());
                    }
                    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(cmd->ElemCount),
                                   sizeof(ImDrawIdx) == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT, indices);
                }
            }
            indices += cmd->ElemCount;
        }
    }

    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(lastTexture));
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
    glPolygonMode(GL_FRONT, static_cast<GLenum>(lastPolygonMode[0]));
    glPolygonMode(GL_BACK, static_cast<GLenum>(lastPolygonMode[1]));
    glViewport(lastViewport[0], lastViewport[1], static_cast<GLsizei>(lastViewport[2]),
               static_cast<GLsizei>(lastViewport[3]));
    glScissor(lastScissorBox[0], lastScissorBox[1], static_cast<GLsizei>(lastScissorBox[2]),
              static_cast<GLsizei>(lastScissorBox[3]));
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, lastTexEnvMode);
}

} // namespace nd
