#include "DownloadSystem/ComputerId.h"

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "Platform/Digest.h"
#include "Platform/FileIo.h"
#include "Platform/MachineInfo.h"

#include <cstdint>
#include <vector>

namespace DownloadSystem
{

using nd::StringUtils;

bool ComputerId::GetComputerId(std::string& identifier)
{
    std::string text;
    ReadMachineGuid(text);
    std::string volume;
    GetVolumeId(volume);
    text += "|" + volume;
    int32_t registers[4] = {};
    Platform::ReadCpuidLeaf0(registers);
    for (int32_t value : registers)
        text += StringUtils::IntToString(value, 10);
    HashText(text, identifier);
    return true;
}

bool ComputerId::GetComputerIdWide(std::u16string& identifier)
{
    std::string narrow;
    GetComputerId(narrow);
    identifier = StringUtils::ToWide(narrow);
    return true;
}

void ComputerId::ReadMachineGuid(std::string& text)
{
    text.clear();
    int error = 0;
    if (!Platform::ReadMachineGuid(text, error))
    {
        text.clear();
        nd::ReportError("Unable to open HKLM\\Software\\Microsoft\\Cryptography registry key", error,
                        __FILE__, __LINE__);
        return;
    }
    // The stored value was read into a 255-byte buffer: at most 254 characters, up to a zero.
    text = text.substr(0, text.find('\0'));
    if (text.size() > 254)
        text.resize(254);
}

void ComputerId::GetVolumeId(std::string& text)
{
    text.clear();
    int error = 0;
    if (!Platform::QueryRootVolumeInformation(error))
        nd::ReportError("GetVolumeInformation failed", error, __FILE__, __LINE__);
    std::string name;
    if (!Platform::GetRootVolumeName(name, error))
    {
        nd::ReportError("GetVolumeNameForVolumeMountPoint failed", error, __FILE__, __LINE__);
        return;
    }
    const size_t open = name.find('{');
    const size_t close = name.find('}');
    // A "}" before the first "{" encloses nothing.
    if (open != std::string::npos && close != std::string::npos && close > open)
        text = name.substr(open + 1, close - open - 1);
}

bool ComputerId::HashText(const std::string& text, std::string& identifier)
{
    identifier.clear();
    Platform::Digest digest(Platform::DigestKind::Sha1);
    if (!digest.IsValid())
    {
        nd::ReportError("CryptCreateHash", Platform::LastErrorNumber(), __FILE__, __LINE__);
        return false;
    }
    if (!digest.Update(text.data(), text.size()))
    {
        nd::ReportError("CryptHashData", Platform::LastErrorNumber(), __FILE__, __LINE__);
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!digest.Finish(bytes) || bytes.size() != 20)
    {
        nd::ReportError("CryptGetHashParam", Platform::LastErrorNumber(), __FILE__, __LINE__);
        return false;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    for (uint8_t byte : bytes)
    {
        identifier += kHex[byte >> 4];
        identifier += kHex[byte & 0x0F];
    }
    return true;
}

} // namespace DownloadSystem
