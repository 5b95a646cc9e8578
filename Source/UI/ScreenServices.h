#pragma once
// Everything the screens ask of the world outside the UI library: the window, the frame clock,
// the fonts and textures, the download front-end, the error log and the browser. The program uses
// LiveScreenServices, which forwards to the process-wide objects; tests drive the screens through
// their own implementation. All calls come from the main thread.

#include "DownloadSystem/DownloadCore.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct ImFont;

namespace nd
{

class Texture;

// The download manager's counters as one frame reads them.
struct ManagerCounters
{
    bool checkingFile = false;
    uint64_t verifyPercent = 0;
    std::u16string checkingFileName;
    int32_t progressPercent = 0;
    uint64_t totalBytes = 0;
    uint64_t downloadedBytes = 0;
};

class ScreenServices
{
public:
    virtual ~ScreenServices() = default;

    // [SECTION] Window and frame
    virtual int32_t WindowWidth() = 0;
    virtual int32_t WindowHeight() = 0;
    virtual float WindowOpacity() = 0;
    virtual void SetOpacity(float opacity) = 0;
    virtual void SetSize(int32_t width, int32_t height) = 0;
    virtual void CenterOnScreen() = 0;
    virtual void SetPosition(int32_t x, int32_t y) = 0;
    virtual void Minimize() = 0;
    virtual void HideWindow() = 0;
    // False when the platform cannot tell.
    virtual bool CursorScreenPos(float& x, float& y) = 0;
    virtual float DeltaSeconds() = 0;
    virtual double ElapsedSeconds() = 0;
    virtual uint64_t FrameCount() = 0;

    // [SECTION] UI layer
    virtual bool UiInitialised() = 0;
    // Null for a key that was not loaded.
    virtual ImFont* Font(int key) = 0;
    // Empty when no texture could be made.
    virtual std::shared_ptr<Texture> CreateTexture(const std::string& name, const uint8_t* rgba,
                                                   int32_t width, int32_t height) = 0;
    // What the allocator keeps of freed blocks (decoded artwork, the atlas build) goes back to
    // the system.
    virtual void ReleaseFreedMemory() = 0;
    // The frame being built may be drawn at half the frame rate (the slide cross-fade).
    virtual void AllowHalfRateFrame() {}

    // [SECTION] Download front-end
    // The description request runs on a worker: Begin returns at once, the result is empty
    // until the request has ended.
    virtual void BeginDescriptionRequest() = 0;
    virtual std::optional<bool> DescriptionResult() = 0;
    virtual void StartDownload() = 0;
    virtual bool IsFinished() = 0;
    // How a finished run ended: true when it started the setup.
    virtual bool StartedSetup() = 0;
    virtual void PostLogFile() = 0;
    virtual bool IsPaused() = 0;
    virtual bool TogglePause() = 0;
    // Empty while the front-end holds no download manager.
    virtual std::optional<ManagerCounters> ReadManager() = 0;
    virtual uint32_t Speed() = 0;
    virtual DownloadSystem::RemainingTime RemainingTime() = 0;
    virtual std::u16string ProgramFolder() = 0;

    // [SECTION] Error log and browser
    virtual std::string LastUserMessage() = 0;
    virtual void OpenSupportArticle() = 0;
};

} // namespace nd
