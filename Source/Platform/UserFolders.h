#pragma once
// The per-user folders as this platform defines them.

#include <string>

namespace Platform
{

// $XDG_DATA_HOME, or $HOME/.local/share when that is unset or not absolute (the stand-in for the
// per-user local application-data folder). Empty when neither can be found.
std::string UserDataFolder();

} // namespace Platform
