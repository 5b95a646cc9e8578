#include "Platform/Shell.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace Platform
{

namespace
{

constexpr const char* kOpener = "xdg-open";
// How often a wait for the opener looks at the caller's flag.
constexpr long long kExitWaitStepMs = 10;

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

// Owns the descriptor of one child process (pidfd_open) for the length of one wait.
class ChildDescriptor
{
public:
    // Through syscall: this C library's own declaration lacks C linkage for C++.
    explicit ChildDescriptor(pid_t child) : descriptor(static_cast<int>(::syscall(SYS_pidfd_open, child, 0))) {}
    ~ChildDescriptor()
    {
        if (descriptor >= 0)
            ::close(descriptor);
    }
    ChildDescriptor(const ChildDescriptor&) = delete;
    ChildDescriptor& operator=(const ChildDescriptor&) = delete;

    // Until the child ends or stepMs have passed. Without a descriptor (a kernel before 5.3
    // or a sandbox that refuses it), the whole step.
    void WaitStep(int stepMs) const
    {
        if (descriptor < 0)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
            return;
        }
        pollfd ended{descriptor, POLLIN, 0};
        ::poll(&ended, 1, stepMs);
    }

private:
    int descriptor;
};

// Waits up to waitMs for the child to end; true with its status once it has been reaped. The
// descriptor becomes readable the moment the child ends, so the wait ends then instead of at
// the next step (an opener takes a few milliseconds, and the setup's start waits for it).
bool WaitForExit(pid_t child, uint32_t waitMs, const std::atomic<bool>* keepWaiting, int& status)
{
    if (waitMs == 0)
        return false;
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(waitMs);
    const ChildDescriptor watched(child);
    for (;;)
    {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child)
            return true;
        if (ended < 0 && errno != EINTR)
            return false;
        const auto now = Clock::now();
        if (now >= end || (keepWaiting && !keepWaiting->load()))
            return false;
        const long long left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
        watched.WaitStep(static_cast<int>(std::clamp(left, 1LL, kExitWaitStepMs)));
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
