#include "Platform/MachineInfo.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace Platform
{

namespace
{

bool ReadFirstLine(const char* path, std::string& line, int& error)
{
    std::ifstream in(path);
    if (!in)
    {
        error = errno != 0 ? errno : ENOENT;
        return false;
    }
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return true;
}

struct RootMount
{
    unsigned major = 0;
    unsigned minor = 0;
    std::string source;
};

// The last "/" entry of mountinfo is the one visible to this process (later mounts cover earlier).
bool FindRootMount(RootMount& root, int& error)
{
    std::ifstream in("/proc/self/mountinfo");
    if (!in)
    {
        error = errno != 0 ? errno : ENOENT;
        return false;
    }
    bool found = false;
    std::string line;
    while (std::getline(in, line))
    {
        std::istringstream fields(line);
        std::string id, parent, device, root_, mountPoint;
        if (!(fields >> id >> parent >> device >> root_ >> mountPoint) || mountPoint != "/")
            continue;
        const size_t colon = device.find(':');
        const size_t dash = line.find(" - ");
        if (colon == std::string::npos || dash == std::string::npos)
            continue;
        std::istringstream tail(line.substr(dash + 3));
        std::string fsType, source;
        tail >> fsType >> source;
        root.major = static_cast<unsigned>(std::strtoul(device.c_str(), nullptr, 10));
        root.minor = static_cast<unsigned>(std::strtoul(device.c_str() + colon + 1, nullptr, 10));
        root.source = source;
        found = true;
    }
    if (!found)
        error = ENOENT;
    return found;
}

std::string FindUuidOfDevice(dev_t device)
{
    const char* folder = "/dev/disk/by-uuid";
    DIR* dir = opendir(folder);
    if (dir == nullptr)
        return {};
    std::string uuid;
    while (dirent* entry = readdir(dir))
    {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat info
        {
        };
        const std::string link = std::string(folder) + "/" + name;
        if (stat(link.c_str(), &info) == 0 && S_ISBLK(info.st_mode) && info.st_rdev == device)
        {
            uuid = name;
            break;
        }
    }
    closedir(dir);
    return uuid;
}

} // namespace

bool ReadMachineGuid(std::string& text, int& error)
{
    text.clear();
    error = 0;
    if (ReadFirstLine("/etc/machine-id", text, error) && !text.empty())
        return true;
    return ReadFirstLine("/var/lib/dbus/machine-id", text, error);
}

bool QueryRootVolumeInformation(int& error)
{
    struct statvfs info
    {
    };
    if (statvfs("/", &info) != 0)
    {
        error = errno;
        return false;
    }
    error = 0;
    return true;
}

bool GetRootVolumeName(std::string& name, int& error)
{
    name.clear();
    RootMount root;
    if (!FindRootMount(root, error))
        return false;
    error = 0;
    const std::string uuid = root.major != 0 ? FindUuidOfDevice(makedev(root.major, root.minor)) : "";
    if (!uuid.empty())
    {
        name = "{" + uuid + "}";
        return true;
    }
    for (char c : root.source)
        if (c != '{' && c != '}')
            name += c;
    return true;
}

void ReadCpuidLeaf0(int32_t registers[4])
{
    unsigned a = 0, b = 0, c = 0, d = 0;
#if defined(__x86_64__) || defined(__i386__)
    __cpuid_count(0, 0, a, b, c, d);
#endif
    registers[0] = static_cast<int32_t>(a);
    registers[1] = static_cast<int32_t>(b);
    registers[2] = static_cast<int32_t>(c);
    registers[3] = static_cast<int32_t>(d);
}

} // namespace Platform
