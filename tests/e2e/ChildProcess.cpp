#include "ChildProcess.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace e2e
{

ChildProcess::~ChildProcess()
{
    Stop();
}

std::map<std::string, std::string> ChildProcess::CurrentEnvironment()
{
    std::map<std::string, std::string> result;
    for (char** entry = environ; entry && *entry; ++entry)
    {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string::npos)
        {
            result[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    return result;
}

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& environment, const std::string& output,
                         const std::string& workingFolder)
{
    if (argv.empty() || Running())
    {
        return false;
    }
    std::vector<std::string> envText;
    for (const auto& [name, value] : environment)
    {
        envText.push_back(name + "=" + value);
    }
    std::vector<char*> args, env;
    for (const auto& a : argv)
    {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    for (auto& e : envText)
    {
        env.push_back(e.data());
    }
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (!workingFolder.empty())
    {
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    }
    // Own process group, so that Stop reaches whatever the child starts too.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int result = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), env.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
    {
        pid = -1;
        return false;
    }
    status.reset();
    return true;
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout)
{
    if (pid <= 0 || status)
    {
        return status;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true)
    {
        int raw = 0;
        const pid_t done = waitpid(pid, &raw, WNOHANG);
        if (done == pid)
        {
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return status;
        }
        if (done < 0 || std::chrono::steady_clock::now() >= deadline)
        {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void ChildProcess::Stop(std::chrono::milliseconds grace)
{
    if (!Running())
    {
        return;
    }
    kill(-pid, SIGTERM);
    if (!Wait(grace))
    {
        kill(-pid, SIGKILL);
        Wait(std::chrono::milliseconds(5000));
    }
}

} // namespace e2e
