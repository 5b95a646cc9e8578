#include "Platform/UserFolders.h"

#include "Platform/ProcessInfo.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace Platform
{

namespace
{

// HOME, or the home folder of the user's account when HOME is not set.
std::string HomeFolder()
{
    const auto home = EnvironmentVariable("HOME");
    if (home && !home->empty())
        return *home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

} // namespace

std::string UserDataFolder()
{
    // The base-directory convention ignores relative values.
    const auto dataHome = EnvironmentVariable("XDG_DATA_HOME");
    if (dataHome && !dataHome->empty() && dataHome->front() == '/')
        return *dataHome;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.local/share";
}

} // namespace Platform
