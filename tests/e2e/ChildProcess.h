#pragma once
// A child process for the end-to-end tests: started with an argument vector and its own
// environment, output to a file, always ended and reaped by the destructor.

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace e2e
{

class ChildProcess
{
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // environment replaces the child's whole environment; output receives stdout and stderr.
    bool Start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
               const std::string& output, const std::string& workingFolder = "");

    // The exit status once the child ended within the time-out (128 + signal when killed by one).
    std::optional<int> Wait(std::chrono::milliseconds timeout);

    // SIGTERM, then SIGKILL when it has not ended after grace. Safe when not running.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

    bool Running() const { return pid > 0 && !status; }
    pid_t Pid() const { return pid; }

    // The current environment as a map, to start from.
    static std::map<std::string, std::string> CurrentEnvironment();

  private:
    pid_t pid = -1;
    std::optional<int> status;
};

} // namespace e2e
