#include "Platform/Shell.h"

#include <cerrno>
#include <chrono>
#include <spawn.h>
#include <string>
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

// Waits up to waitMs for the child to end; true with its status once it has been reaped.
bool WaitForExit(pid_t child, uint32_t waitMs, const std::atomic<bool>* keepWaiting, int& status)
{
    if (waitMs == 0)
        return false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;)
    {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child)
            return true;
        if (ended < 0 && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= end || (keepWaiting && !keepWaiting->load()))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

ShellResult ShellExecute(ShellVerb verb, const std::string& target, const std::string& workingFolder,
                         uint32_t exitWaitMs, const std::atomic<bool>* keepWaiting)
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

    result.started = true;
    int status = 0;
    if (WaitForExit(child, exitWaitMs, keepWaiting, status))
    {
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            return result;
        result.started = false;
        result.failure =
            WIFEXITED(status)
                ? std::string(kOpener) + " exited with status " + std::to_string(WEXITSTATUS(status))
                : std::string(kOpener) + " was ended by signal " + std::to_string(WTERMSIG(status));
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
    return result;
}

} // namespace Platform
