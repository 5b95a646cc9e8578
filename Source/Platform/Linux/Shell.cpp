#include "Platform/Shell.h"

#include <cerrno>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace Platform
{

namespace
{

constexpr const char* kOpener = "xdg-open";

// The file browser shows folders: a file is shown through the folder that holds it.
std::string FolderToExplore(const std::string& target)
{
    struct stat info
    {
    };
    if (stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return target;
    const size_t slash = target.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : target.substr(0, slash);
}

// Owns a posix_spawn_file_actions_t for the length of one launch.
class SpawnActions
{
public:
    SpawnActions() { valid = posix_spawn_file_actions_init(&actions) == 0; }
    ~SpawnActions()
    {
        if (valid)
            posix_spawn_file_actions_destroy(&actions);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    bool IsValid() const { return valid; }
    posix_spawn_file_actions_t* Get() { return &actions; }

private:
    posix_spawn_file_actions_t actions{};
    bool valid = false;
};

} // namespace

ShellResult ShellExecute(ShellVerb verb, const std::string& target, const std::string& workingFolder)
{
    ShellResult result;
    const std::string argument = verb == ShellVerb::Explore ? FolderToExplore(target) : target;

    SpawnActions actions;
    if (!actions.IsValid())
    {
        result.errorNumber = ENOMEM;
        return result;
    }
    if (!workingFolder.empty())
    {
        const int error = posix_spawn_file_actions_addchdir_np(actions.Get(), workingFolder.c_str());
        if (error != 0)
        {
            result.errorNumber = error;
            return result;
        }
    }

    std::string program = kOpener;
    std::vector<char*> argv{program.data(), const_cast<char*>(argument.c_str()), nullptr};
    pid_t child = 0;
    const int error = posix_spawnp(&child, kOpener, actions.Get(), nullptr, argv.data(), environ);
    if (error != 0)
    {
        result.errorNumber = error;
        return result;
    }

    // The opener may outlive this call by far (some desktops keep it until the viewer closes);
    // a detached waiter reaps it so that no zombie is left behind.
    std::thread(
        [child]
        {
            int status = 0;
            while (waitpid(child, &status, 0) < 0 && errno == EINTR)
            {
            }
        })
        .detach();
    result.started = true;
    return result;
}

} // namespace Platform
