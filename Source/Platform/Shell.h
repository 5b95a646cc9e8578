#pragma once
// Hands a file, folder or web address to the desktop's opener: xdg-open, found on PATH, on Linux
// (it gets its arguments as a vector; nothing is ever passed through a shell command line), the
// shell's ShellExecuteW on Windows (which answers at once: there is no opener's exit to wait for).

#include <atomic>
#include <cstdint>
#include <string>

namespace Platform
{

enum class ShellVerb
{
    Open,    // open the file or address with its default application
    Explore, // show the file's folder (or the folder itself) in the file browser
};

struct ShellResult
{
    bool started = false; // the opener was started (and, when waited for, did not report a failure)
    int errorNumber = 0;  // errno (Linux) or ShellExecute's answer (Windows) of a failed start, else 0
    std::string failure;  // the failure in words ("xdg-open exited with status 3", ShellExecute's code told)
};

// target and workingFolder are UTF-8 paths or an address; an empty workingFolder keeps ours.
// Without exitWaitMs it returns at once: the opener runs on, and is reaped in the background
// when it ends. With exitWaitMs, it waits up to that long for the opener's exit status (also
// ending the wait when keepWaiting, if given, is cleared): a status other than 0 is a failed
// start, described in failure; an opener still running then counts as started.
ShellResult ShellExecute(ShellVerb verb, const std::string& target, const std::string& workingFolder,
                         uint32_t exitWaitMs = 0, const std::atomic<bool>* keepWaiting = nullptr);

} // namespace Platform
