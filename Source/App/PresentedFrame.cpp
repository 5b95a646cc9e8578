#include "App/PresentedFrame.h"

#include "App/Texture.h"

#include <imgui.h>

#include <cstring>

namespace nd
{

namespace
{

template <class Value> void Append(std::vector<uint8_t>& bytes, const Value& value)
{
    const auto* raw = reinterpret_cast<const uint8_t*>(&value);
    bytes.insert(bytes.end(), raw, raw + sizeof(Value));
}

void AppendBytes(std::vector<uint8_t>& bytes, const void* data, size_t length)
{
    const auto* raw = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), raw, raw + length);
}

// The OpenGL texture the renderer binds for a command; 0 where it keeps the previous binding.
uint32_t BoundTexture(const ImDrawCmd& command, uint32_t fontTexture)
{
    if (command.TextureId == nullptr)
        return fontTexture;
    const char* identifier = static_cast<const char*>(command.TextureId);
    if (identifier[0] == '\0')
        return 0;
    const auto texture = FindTexture(identifier);
    return texture ? texture->GetGlName() : 0;
}

} // namespace

bool PresentedFrame::Shows(const ImDrawData& drawData, uint32_t fontTexture)
{
    candidate.clear();
    candidateComparable = true;
    Append(candidate, drawData.DisplayPos);
    Append(candidate, drawData.DisplaySize);
    Append(candidate, drawData.FramebufferScale);
    Append(candidate, drawData.CmdListsCount);
    for (int n = 0; n < drawData.CmdListsCount; ++n)
    {
        const ImDrawList& list = *drawData.CmdLists[n];
        Append(candidate, list.VtxBuffer.Size);
        AppendBytes(candidate, list.VtxBuffer.Data, sizeof(ImDrawVert) * static_cast<size_t>(list.VtxBuffer.Size));
        Append(candidate, list.IdxBuffer.Size);
        AppendBytes(candidate, list.IdxBuffer.Data, sizeof(ImDrawIdx) * static_cast<size_t>(list.IdxBuffer.Size));
        Append(candidate, list.CmdBuffer.Size);
        for (const ImDrawCmd& command : list.CmdBuffer)
        {
            if (command.UserCallback != nullptr && command.UserCallback != ImDrawCallback_ResetRenderState)
                candidateComparable = false;
            Append(candidate, command.UserCallback != nullptr);
            Append(candidate, command.ClipRect);
            Append(candidate, command.ElemCount);
            Append(candidate, command.IdxOffset);
            Append(candidate, command.VtxOffset);
            Append(candidate, BoundTexture(command, fontTexture));
        }
    }
    return valid && candidateComparable && candidate == onScreen;
}

void PresentedFrame::Remember()
{
    valid = candidateComparable;
    if (valid)
        onScreen.swap(candidate);
}

void PresentedFrame::Forget()
{
    valid = false;
}

} // namespace nd
