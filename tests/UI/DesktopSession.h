#pragma once
// The real program on a private X server, for the program tests: starting it from a copy under
// a release file name, finding and measuring its window with xdotool, clicking with real X
// pointer events and taking screenshots with ImageMagick's import. Every wait is bounded.

#include "App/XvfbDisplay.h"

#include <stb_image.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <utility>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace screentest
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline bool OnPath(const std::string& program)
{
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command (bounded to 20 s) and returns its standard output.
inline std::string Run(const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen(("timeout 20 " + command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[512];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        output.append(buffer, got);
    ::pclose(pipe);
    return output;
}

// The program under test as a child process with its own environment; killed by the destructor.
class ProgramProcess
{
public:
    ~ProgramProcess() { Stop(); }

    bool Start(const fs::path& program, const std::map<std::string, std::string>& extraEnvironment,
               const fs::path& output)
    {
        std::map<std::string, std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry)
        {
            const std::string text = *entry;
            const size_t equals = text.find('=');
            if (equals != std::string::npos)
                environment[text.substr(0, equals)] = text.substr(equals + 1);
        }
        environment.erase("WAYLAND_DISPLAY");
        for (const auto& [name, value] : extraEnvironment)
            environment[name] = value;
        std::vector<std::string> texts;
        for (const auto& [name, value] : environment)
            texts.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (std::string& text : texts)
            envp.push_back(text.data());
        envp.push_back(nullptr);
        const std::string path = program.string();
        const std::string folder = program.parent_path().string();
        const std::string log = output.string();

        status.reset(); // a process started again is judged afresh
        pid = ::fork();
        if (pid == 0)
        {
            const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
            if (::chdir(folder.c_str()) != 0)
                ::_exit(126);
            char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
            ::execve(path.c_str(), argv, envp.data());
            ::_exit(127);
        }
        return pid > 0;
    }

    // The exit status once the program has ended within the time-out.
    std::optional<int> Wait(std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (pid > 0 && !status)
        {
            int raw = 0;
            if (::waitpid(pid, &raw, WNOHANG) == pid)
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            else if (std::chrono::steady_clock::now() >= deadline)
                break;
            else
                std::this_thread::sleep_for(50ms);
        }
        return status;
    }

    bool Running() { return pid > 0 && !Wait(0ms); }

    void Stop()
    {
        if (!Running())
            return;
        ::kill(pid, SIGTERM);
        if (!Wait(3000ms))
        {
            ::kill(pid, SIGKILL);
            Wait(5000ms);
        }
    }

private:
    pid_t pid = -1;
    std::optional<int> status;
};

struct WindowGeometry
{
    int x = 0, y = 0, width = 0, height = 0;
};

// The first window whose title is exactly title, polled until the time-out; empty when none.
inline std::string FindWindow(const std::string& title, std::chrono::milliseconds timeout)
{
    std::string pattern;
    for (char c : title)
        pattern += (std::isalnum(static_cast<unsigned char>(c)) || c == ' ') ? std::string(1, c)
                                                                             : "\\" + std::string(1, c);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do
    {
        std::istringstream ids(Run("xdotool search --name '^" + pattern + "$'"));
        std::string id;
        if (ids >> id)
            return id;
        std::this_thread::sleep_for(100ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return {};
}

inline std::string WindowTitle(const std::string& id)
{
    std::string name = Run("xdotool getwindowname " + id);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
        name.pop_back();
    return name;
}

inline std::optional<WindowGeometry> Geometry(const std::string& id)
{
    std::istringstream lines(Run("xdotool getwindowgeometry --shell " + id));
    std::map<std::string, int> values;
    for (std::string line; std::getline(lines, line);)
    {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = std::atoi(line.c_str() + equals + 1);
    }
    if (!values.count("WIDTH"))
        return std::nullopt;
    return WindowGeometry{values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
}

// Polls until the window has the size (and, given one, the place: the program resizes and moves
// a window in two steps), or the time-out; the last geometry seen.
inline std::optional<WindowGeometry> WaitForSize(const std::string& id, int width, int height,
                                                 std::chrono::milliseconds timeout,
                                                 std::optional<std::pair<int, int>> place = std::nullopt)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::optional<WindowGeometry> seen;
    do
    {
        seen = Geometry(id);
        if (seen && seen->width == width && seen->height == height &&
            (!place || (seen->x == place->first && seen->y == place->second)))
            return seen;
        std::this_thread::sleep_for(100ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return seen;
}

// Mapped and shown on the screen (xwininfo's map state).
inline bool Viewable(const std::string& id)
{
    return Run("xwininfo -id " + id).find("IsViewable") != std::string::npos;
}

// The opacity the program asked a compositor for (1 when it asked for none).
inline double Opacity(const std::string& id)
{
    const std::string text = Run("xprop -id " + id + " _NET_WM_WINDOW_OPACITY");
    const size_t equals = text.find('=');
    return equals == std::string::npos
               ? 1.0
               : static_cast<double>(std::strtoull(text.c_str() + equals + 1, nullptr, 10)) / 4294967295.0;
}

// A window manager's close request (WM_DELETE_WINDOW), which Xvfb has no manager to send and
// xdotool's windowclose does not (it destroys the window); in WindowCloseRequest.cpp, away from
// Xlib's macros. False when it could not be sent.
bool RequestWindowClose(const std::string& windowId);

// A press and, a moment later, the release at a screen position: real X pointer events.
inline void ClickAt(int x, int y)
{
    Run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
        " sleep 0.2 mousedown 1 sleep 0.2 mouseup 1");
}

// The whole screen as RGBA pixels.
class Screenshot
{
public:
    bool Take(const fs::path& file)
    {
        Run("import -window root '" + file.string() + "'");
        int channels = 0;
        stbi_uc* loaded = stbi_load(file.c_str(), &width, &height, &channels, 4);
        if (loaded == nullptr)
            return false;
        pixels.assign(loaded, loaded + static_cast<size_t>(width) * height * 4);
        stbi_image_free(loaded);
        return true;
    }

    // Share of the pixels in the rectangle whose colour is within tolerance of (r, g, b).
    double Share(int x0, int y0, int w, int h, int r, int g, int b, int tolerance = 12) const
    {
        size_t match = 0, total = 0;
        for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
            for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x)
            {
                const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
                ++total;
                if (std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance &&
                    std::abs(p[2] - b) <= tolerance)
                    ++match;
            }
        return total == 0 ? 0.0 : static_cast<double>(match) / static_cast<double>(total);
    }

    // Number of distinct colours in the rectangle (quantised), to tell a drawn area from a blank one.
    size_t Colours(int x0, int y0, int w, int h) const
    {
        std::vector<bool> seen(4096, false);
        size_t count = 0;
        for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
            for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x)
            {
                const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
                const size_t key = (p[0] >> 4) << 8 | (p[1] >> 4) << 4 | (p[2] >> 4);
                if (!seen[key])
                {
                    seen[key] = true;
                    ++count;
                }
            }
        return count;
    }

    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

} // namespace screentest
