#pragma once
// A private X server for tests that need a display: Xvfb picks a free display number itself
// (-displayfd), so parallel test processes never collide, and reports it once it accepts clients.

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nd::test
{

class XvfbDisplay
{
public:
    XvfbDisplay() = default;
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;
    ~XvfbDisplay() { Stop(); }

    static bool IsInstalled() { return !FindExecutable("Xvfb").empty(); }

    // Starts a screen (1920 x 1080 x 24 unless given) and points DISPLAY at it; with a dpi, its X
    // resources say Xft.dpi, as xrdb would load it. On failure error says why.
    bool Start(std::string& error, const std::string& screen = "1920x1080x24", int dpi = 0)
    {
        const std::string program = FindExecutable("Xvfb");
        if (program.empty())
        {
            error = "Xvfb is not installed";
            return false;
        }
        int fds[2];
        if (pipe(fds) != 0)
        {
            error = "pipe failed";
            return false;
        }
        fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        pid = fork();
        if (pid == 0)
        {
            close(fds[0]);
            const int devNull = open("/dev/null", O_RDWR);
            dup2(devNull, STDIN_FILENO);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
            const std::string fd = std::to_string(fds[1]);
            // -noreset: root window resources (Xft.dpi) outlive the client that set them.
            execl(program.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
                  "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid < 0)
        {
            close(fds[0]);
            error = "fork failed";
            return false;
        }
        std::string number;
        pollfd waitFor{fds[0], POLLIN, 0};
        while (number.find('\n') == std::string::npos && poll(&waitFor, 1, 15000) > 0)
        {
            char buffer[32];
            const ssize_t got = read(fds[0], buffer, sizeof(buffer));
            if (got <= 0)
                break;
            number.append(buffer, static_cast<size_t>(got));
        }
        close(fds[0]);
        if (number.empty() || number.find('\n') == std::string::npos)
        {
            Stop();
            error = "Xvfb did not report a display";
            return false;
        }
        name = ":" + number.substr(0, number.find('\n'));
        setenv("DISPLAY", name.c_str(), 1);
        const std::string dpiText = "'Xft.dpi:" + std::to_string(dpi) + "'";
        return dpi == 0 ||
               std::system(("xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER " + dpiText).c_str()) ==
                   0;
    }

    void Stop()
    {
        if (pid <= 0)
            return;
        kill(pid, SIGTERM);
        for (int i = 0; i < 100; ++i)
        {
            if (waitpid(pid, nullptr, WNOHANG) == pid)
            {
                pid = -1;
                return;
            }
            usleep(20000);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

    const std::string& Name() const { return name; }

private:
    static std::string FindExecutable(const std::string& program)
    {
        const char* path = std::getenv("PATH");
        std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
        size_t start = 0;
        while (start <= dirs.size())
        {
            const size_t end = dirs.find(':', start);
            const std::string dir =
                dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
            const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
            if (access(candidate.c_str(), X_OK) == 0)
                return candidate;
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        return {};
    }

    pid_t pid = -1;
    std::string name;
};

} // namespace nd::test
