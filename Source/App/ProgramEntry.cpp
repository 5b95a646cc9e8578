#include "App/ProgramEntry.h"

#include "App/Application.h"
#include "App/Hooks.h"

namespace nd
{

int RunProgram()
{
    OnConfigure();
    Application& application = Application::Instance();
    if (application.Create())
    {
        application.Run();
        OnShutdown();
    }
    return 0;
}

} // namespace nd
