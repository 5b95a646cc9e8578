// The program's hooks into the application frame: they hand everything to the screens object.

#include "App/Hooks.h"

#include "App/Application.h"
#include "Core/ProgramFile.h"
#include "DownloadSystem/DownloadCore.h"
#include "UI/DownloadManagerInterface.h"
#include "UI/ViewerMode.h"

void OnConfigure()
{
    nd::Application& application = nd::Application::Instance();
    application.SetName("Norvia Download Manager");
    application.SetWindowMode(nd::WindowMode::Borderless);
    application.SetSize(1200, 640);
}

bool OnCreate()
{
    const bool viewer = nd::IsViewerProgram(nd::ProgramFilePath());
    nd::Application::Instance().SetName(viewer ? "Norvia Viewer Download Manager"
                                               : "Norvia Download Manager");
    nd::DownloadManagerInterface::Instance()->Prepare(viewer);
    return true;
}

bool OnFrame()
{
    return nd::DownloadManagerInterface::Instance()->DrawFrame();
}

void OnShutdown()
{
    nd::DownloadManagerInterface::Instance()->Shutdown();
    // A close request during a run stops it here, without the exit step.
    DownloadSystem::GetDownloadCore()->Shutdown();
}
