// The program's entry point: the hooks configure, then the application frame runs.

#include "App/Application.h"
#include "App/Hooks.h"

int main()
{
    OnConfigure();
    nd::Application& application = nd::Application::Instance();
    if (application.Create())
        application.Run();
    return 0;
}
