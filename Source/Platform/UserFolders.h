#pragma once
// The per-user folders as this platform defines them.

#include <string>

namespace Platform
{

// $XDG_DATA_HOME, or <home>/.local/share when that is unset or not absolute (the stand-in for the
// per-user local application-data folder). The home folder is $HOME, else the account's. Empty
// when none can be found.
std::string UserDataFolder();

} // namespace Platform
