#pragma once
// Hands a file, folder or web address to the desktop's opener (xdg-open, found on PATH). The
// opener gets its arguments as a vector; nothing is ever passed through a shell command line.

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
    bool started = false; // the opener process was started; what it then does is not followed
    int errorNumber = 0;  // errno of the failed start, 0 when started
};

// target and workingFolder are UTF-8 paths or an address; an empty workingFolder keeps ours.
// Returns at once: the opener runs on, and is reaped in the background when it ends.
ShellResult ShellExecute(ShellVerb verb, const std::string& target, const std::string& workingFolder);

} // namespace Platform
