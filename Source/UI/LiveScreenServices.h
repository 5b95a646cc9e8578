#pragma once
// The screens' services in the running program: the process-wide Application, FrameClock,
// CoreUI, texture registry, DownloadCore, error log and the desktop's opener.

#include "UI/ScreenServices.h"

namespace nd
{

class LiveScreenServices final : public ScreenServices
{
public:
    int32_t WindowWidth() override;
    int32_t WindowHeight() override;
    float WindowOpacity() override;
    void SetOpacity(float opacity) override;
    void SetSize(int32_t width, int32_t height) override;
    void CenterOnScreen() override;
    void SetPosition(int32_t x, int32_t y) override;
    void Minimize() override;
    void HideWindow() override;
    bool CursorScreenPos(float& x, float& y) override;
    float DeltaSeconds() override;
    double ElapsedSeconds() override;
    uint64_t FrameCount() override;

    bool UiInitialised() override;
    ImFont* Font(int key) override;
    std::shared_ptr<Texture> CreateTexture(const std::string& name, const uint8_t* rgba, int32_t width,
                                           int32_t height) override;
    void ReleaseFreedMemory() override;
    void AllowHalfRateFrame() override;

    void BeginDescriptionRequest() override;
    std::optional<bool> DescriptionResult() override;
    void StartDownload() override;
    bool IsFinished() override;
    bool StartedSetup() override;
    void PostLogFile() override;
    bool IsPaused() override;
    bool TogglePause() override;
    std::optional<ManagerCounters> ReadManager() override;
    uint32_t Speed() override;
    DownloadSystem::RemainingTime RemainingTime() override;
    std::u16string ProgramFolder() override;

    std::string LastUserMessage() override;
    void OpenSupportArticle() override;
};

} // namespace nd
