#pragma once
// Facts about the running process. Paths are UTF-8. (Per-user folders: UserFolders.h.)

#include <cstdint>
#include <optional>
#include <string>

namespace Platform
{

// The full path of the running executable (from /proc/self/exe); empty when unknown.
std::string ExecutablePath();

// The value of an environment variable, or nothing when it is not set.
std::optional<std::string> EnvironmentVariable(const std::string& name);

uint32_t CurrentProcessId();

} // namespace Platform
