#include "Platform/ProcessInfo.h"

#include <cstdlib>
#include <malloc.h>
#include <unistd.h>
#include <vector>

namespace Platform
{

std::string ExecutablePath()
{
    // readlink does not say whether it truncated, so grow until the answer leaves room.
    std::vector<char> buffer(512);
    for (;;)
    {
        ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(length));
        if (buffer.size() >= 1u << 20)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::string> EnvironmentVariable(const std::string& name)
{
    // getenv is safe as long as nobody changes the environment concurrently; the program never does.
    const char* value = std::getenv(name.c_str());
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

uint32_t CurrentProcessId()
{
    return static_cast<uint32_t>(::getpid());
}

void ReleaseFreedMemory()
{
    ::malloc_trim(0);
}

} // namespace Platform
