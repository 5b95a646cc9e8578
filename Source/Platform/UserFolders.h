#pragma once
// The per-user folders and the environment as this platform defines them.

#include <optional>
#include <string>

namespace Platform
{

// The value of an environment variable; nothing when it is not set.
std::optional<std::string> EnvironmentValue(const char* name);

// $XDG_DATA_HOME, or $HOME/.local/share when that is unset or not absolute (the stand-in for the
// per-user local application-data folder). Empty when neither can be found.
std::string UserDataFolder();

} // namespace Platform
