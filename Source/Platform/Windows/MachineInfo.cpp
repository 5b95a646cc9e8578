#include "Platform/MachineInfo.h"

#include <windows.h>

#include <intrin.h>

#include "Platform/Windows/WideText.h"
#include "Platform/Windows/Win32Owners.h"

namespace Platform
{

namespace
{

constexpr const wchar_t* kCryptographyKey = L"SOFTWARE\\Microsoft\\Cryptography";
constexpr const wchar_t* kSystemRoot = L"C:\\";
constexpr DWORD kValueBufferBytes = 255;
constexpr DWORD kVolumeNameChars = 1024;

} // namespace

// The 64-bit view first: a 32-bit process would otherwise read its redirected copy of the key.
bool ReadMachineGuid(std::string& text, int& error)
{
    text.clear();
    RegistryKey key;
    LSTATUS status =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCryptographyKey, 0, KEY_READ | KEY_WOW64_64KEY, key.put());
    if (status != ERROR_SUCCESS)
        status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCryptographyKey, 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS)
    {
        error = static_cast<int>(status);
        return false;
    }
    error = 0;
    // A zeroed buffer of 255 bytes; a failed read leaves the text empty but the key was readable.
    char value[kValueBufferBytes] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    if (::RegQueryValueExA(key.get(), "MachineGuid", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ))
        text = value;
    return true;
}

bool QueryRootVolumeInformation(int& error)
{
    DWORD serial = 0;
    if (!::GetVolumeInformationW(kSystemRoot, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
    {
        error = static_cast<int>(::GetLastError());
        return false;
    }
    error = 0;
    return true;
}

// "\\?\Volume{GUID}\" as the mount manager names it.
bool GetRootVolumeName(std::string& name, int& error)
{
    name.clear();
    wchar_t volume[kVolumeNameChars] = {};
    if (!::GetVolumeNameForVolumeMountPointW(kSystemRoot, volume, kVolumeNameChars - 1))
    {
        error = static_cast<int>(::GetLastError());
        return false;
    }
    error = 0;
    name = Utf8FromWide(volume);
    return true;
}

void ReadCpuidLeaf0(int32_t registers[4])
{
    int values[4] = {};
    __cpuid(values, 0);
    for (int i = 0; i < 4; ++i)
        registers[i] = values[i];
}

} // namespace Platform
