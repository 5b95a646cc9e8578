#include "UI/LiveScreenServices.h"

#include "App/Application.h"
#include "App/CoreUI.h"
#include "App/FrameClock.h"
#include "App/Texture.h"
#include "Core/ErrorLog.h"
#include "DownloadSystem/DownloadManager.h"
#include "DownloadSystem/RemoteHosts.h"
#include "Platform/ProcessInfo.h"
#include "Platform/Shell.h"

namespace nd
{

// [SECTION] Window and frame

int32_t LiveScreenServices::WindowWidth()
{
    return Application::Instance().GetWidth();
}

int32_t LiveScreenServices::WindowHeight()
{
    return Application::Instance().GetHeight();
}

float LiveScreenServices::WindowOpacity()
{
    return Application::Instance().GetOpacity();
}

void LiveScreenServices::SetOpacity(float opacity)
{
    Application::Instance().SetOpacity(opacity);
}

void LiveScreenServices::SetSize(int32_t width, int32_t height)
{
    Application::Instance().SetSize(width, height);
}

void LiveScreenServices::CenterOnScreen()
{
    Application::Instance().CenterOnScreen();
}

void LiveScreenServices::SetPosition(int32_t x, int32_t y)
{
    Application::Instance().SetPosition(x, y);
}

void LiveScreenServices::Minimize()
{
    Application::Instance().Minimize();
}

void LiveScreenServices::HideWindow()
{
    Application::Instance().Hide();
}

bool LiveScreenServices::CursorScreenPos(float& x, float& y)
{
    return Application::Instance().GetCursorScreenPos(x, y);
}

float LiveScreenServices::DeltaSeconds()
{
    return FrameClock::Instance().GetDeltaSeconds();
}

double LiveScreenServices::ElapsedSeconds()
{
    return FrameClock::Instance().GetElapsedSeconds();
}

uint64_t LiveScreenServices::FrameCount()
{
    return FrameClock::Instance().GetFrameCount();
}

// [SECTION] UI layer

bool LiveScreenServices::UiInitialised()
{
    return CoreUI::Instance()->IsInitialised();
}

ImFont* LiveScreenServices::Font(int key)
{
    return CoreUI::Instance()->GetFont(key);
}

std::shared_ptr<Texture> LiveScreenServices::CreateTexture(const std::string& name, const uint8_t* rgba,
                                                           int32_t width, int32_t height)
{
    return nd::CreateTexture(name, rgba, width, height);
}

void LiveScreenServices::AllowHalfRateFrame()
{
    CoreUI::Instance()->AllowHalfRate();
}

void LiveScreenServices::ReleaseFreedMemory()
{
    Platform::ReleaseFreedMemory();
}

// [SECTION] Download front-end

void LiveScreenServices::BeginDescriptionRequest()
{
    DownloadSystem::GetDownloadCore()->BeginDescriptionRequest();
}

std::optional<bool> LiveScreenServices::DescriptionResult()
{
    return DownloadSystem::GetDownloadCore()->DescriptionResult();
}

void LiveScreenServices::StartDownload()
{
    DownloadSystem::GetDownloadCore()->StartDownload();
}

bool LiveScreenServices::IsFinished()
{
    return DownloadSystem::GetDownloadCore()->IsFinished();
}

bool LiveScreenServices::StartedSetup()
{
    return DownloadSystem::GetDownloadCore()->StartedSetup();
}

void LiveScreenServices::PostLogFile()
{
    DownloadSystem::GetDownloadCore()->PostLogFile();
}

bool LiveScreenServices::IsPaused()
{
    return DownloadSystem::GetDownloadCore()->IsPaused();
}

bool LiveScreenServices::TogglePause()
{
    return DownloadSystem::GetDownloadCore()->TogglePause();
}

std::optional<ManagerCounters> LiveScreenServices::ReadManager()
{
    const auto manager = DownloadSystem::GetDownloadCore()->GetDownloadManager();
    if (!manager)
        return std::nullopt;
    ManagerCounters counters;
    counters.checkingFile = manager->IsCheckingFile();
    counters.verifyPercent = manager->GetVerifyPercent();
    counters.checkingFileName = manager->GetCheckingFileName();
    counters.progressPercent = manager->GetProgressPercent();
    counters.totalBytes = manager->GetTotalBytes();
    counters.downloadedBytes = manager->GetDownloadedBytes();
    return counters;
}

uint32_t LiveScreenServices::Speed()
{
    return DownloadSystem::GetDownloadCore()->GetSpeed();
}

DownloadSystem::RemainingTime LiveScreenServices::RemainingTime()
{
    return DownloadSystem::GetDownloadCore()->GetRemainingTime();
}

std::u16string LiveScreenServices::ProgramFolder()
{
    return DownloadSystem::GetDownloadCore()->GetProgramFolder();
}

// [SECTION] Error log and browser

std::string LiveScreenServices::LastUserMessage()
{
    return GetLastUserMessage();
}

void LiveScreenServices::OpenSupportArticle()
{
    const std::string address = DownloadSystem::RemoteHosts::SupportArticleUrl();
    const Platform::ShellResult result = Platform::ShellExecute(Platform::ShellVerb::Open, address, "");
    if (!result.started)
        LogError("DownloadManagerInterface -> could not open " + address, result.errorNumber, __FILE__,
                 __LINE__);
}

} // namespace nd
