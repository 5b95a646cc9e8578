#pragma once
// The screens object: the one object the program's hooks talk to. It owns the screen state, the
// logo and artwork textures and the fade and slide timers, draws every frame and decides when
// the program quits. Everything runs on the main thread except Init, the artwork task, which
// runs once on a thread started by Prepare and ended by the destructor.

#include "Core/ByteBuffer.h"
#include "UI/FigureTable.h"
#include "UI/ScreenFade.h"
#include "UI/SlideCrossFade.h"

#include <imgui.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace nd
{

class Texture;
class ScreenServices;

enum class Screen
{
    Splash,      // the logo while the artwork loads
    Progress,    // the progress screen, or the download-error screen once the run failed
    StartFailed, // the support screen after a failed description request
};

struct Float2
{
    float x = 0.0f;
    float y = 0.0f;
};

class DownloadManagerInterface
{
public:
    // The single instance, created on first use and kept until the process ends.
    static std::shared_ptr<DownloadManagerInterface> Instance();

    DownloadManagerInterface() = default;
    // Stops the artwork task and waits for it: it may still be fetching when the program ends.
    ~DownloadManagerInterface();
    // The same before the process-wide objects go: its transfers end within a moment.
    void Shutdown();
    DownloadManagerInterface(const DownloadManagerInterface&) = delete;
    DownloadManagerInterface& operator=(const DownloadManagerInterface&) = delete;

    // Creates the logo texture and starts Init on a thread of its own. Runs once.
    void Prepare(bool viewerMode);
    // Draws one frame; false means quit.
    bool DrawFrame();

    // The artwork task: fetches the content description of the release and the images it
    // names into the pending maps, then sets artworkReady (release ordering) whatever happened.
    // Each transfer ends after kArtworkTransferLimitMs at the latest, and soon after
    // artworkStopping is set. Touches nothing else of this object, and no GL or UI state.
    void Init();

    // Init's body; may throw, Init records it.
    void FetchArtwork();

    void DrawSplash(float time);
    bool DrawTitleBar();
    void HandleWindowDrag();
    bool PollArtwork();
    Float2 MeasureText(int fontKey, float pixelSize, const std::string& text, float wrapWidth);
    std::shared_ptr<Texture> FindCoreTexture(const std::string& name) const;
    void DrawProgressScreen(float fade);
    void DrawSidePanel(float fade);
    bool DrawDownloadErrorScreen();
    bool DrawSupportScreen();

    // [SECTION] Fields (main thread unless noted)
    Screen screen = Screen::Splash;
    bool moving = false;
    bool dragging = false;
    bool dragBlocked = false;
    // Written last by Init with release ordering; read with acquire ordering before the pending
    // maps are touched.
    std::atomic<bool> artworkReady{false};
    std::atomic<bool> artworkStopping{false}; // set by the destructor; Init reads it
    bool prepared = false;
    bool viewer = false;
    Float2 grabOffset;
    float progress = 0.0f;
    int32_t currentSlide = 0;
    int32_t nextSlide = 0;
    float slideInterval = 15.0f;
    float slideCountdown = 15.0f;
    std::shared_ptr<Texture> logo;
    std::map<std::string, ByteBuffer> pendingCoreImages; // Init writes; main thread after artworkReady
    std::map<std::string, std::shared_ptr<Texture>> coreTextures;
    std::map<std::string, ByteBuffer> pendingMediaImages; // Init writes; main thread after artworkReady
    std::vector<std::shared_ptr<Texture>> slides;

    // [SECTION] Screen state kept across frames (main thread)
    static constexpr float kSplashSpeed = 1.5f; // splash time runs 1.5 times as fast as the clock
    static constexpr float kSplashEnd = 2.0f;   // the splash ends past this splash time
    // ... or 20 s on the clock at the latest, when the artwork has not come by then.
    static constexpr float kSplashLongest = 20.0f * kSplashSpeed;
    static constexpr uint32_t kArtworkTransferLimitMs = 30000;
    float splashTime = 0.0f;
    bool describing = false; // the description request has been started and not yet taken
    ScreenFade progressFade;
    ScreenFade startFailedFade;
    SlideCrossFade slideCrossFade;
    FigureTable figures;

    // The outside world of the screens; LiveScreenServices unless a test installed its own.
    ScreenServices& Services();
    void SetServices(std::shared_ptr<ScreenServices> replacement);

private:
    void LeaveSplash(bool described);
    // A release ends a drag when the window moved in the previous frame or a drag is still held;
    // such a release never presses a button.
    bool DragInProgress() const { return moving || dragging; }
    void DrawBand();
    bool DrawExitButton(float centreX, float top, bool onLightBackground);
    std::shared_ptr<Texture> TextureFromImage(const std::string& name, const ByteBuffer& bytes);
    // clip, when given, cuts the glyphs at its edges (x, y: top-left; z, w: bottom-right).
    void DrawText(int fontKey, float pixelSize, float x, float y, unsigned int colour,
                  const std::string& text, float wrapWidth = 0.0f,
                  const std::optional<ImVec4>& clip = std::nullopt);

    std::shared_ptr<ScreenServices> services;
    std::thread artworkTask;
};

} // namespace nd
