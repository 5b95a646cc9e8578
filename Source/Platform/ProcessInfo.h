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

// Hands back to the system the memory that the C allocator still holds of blocks already freed.
// Its heap does not shrink by itself once it has held large blocks: the freed ones stay resident
// as holes. Nothing else changes; any thread.
void ReleaseFreedMemory();

} // namespace Platform
