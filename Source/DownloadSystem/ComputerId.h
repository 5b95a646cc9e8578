#pragma once
// The identifier the download service knows a computer by: the SHA-1 digest of the machine
// GUID, "|", the root volume GUID and the processor's CPUID leaf 0, as 40 lower-case hex digits.
// It is stable across runs and reveals none of its inputs.

#include <string>

namespace DownloadSystem
{

class ComputerId
{
public:
    virtual ~ComputerId() = default;

    // Always true: failures show as an empty identifier (or empty parts) and as log records.
    bool GetComputerId(std::string& identifier);
    bool GetComputerIdWide(std::u16string& identifier);

    // The machine's installation GUID text; empty (and reported) when unreadable.
    void ReadMachineGuid(std::string& text);
    // The text between the braces of the root volume's name; empty when it has none.
    void GetVolumeId(std::string& text);
    // SHA-1 of the bytes of text as 40 lower-case hex digits; false with an empty result on failure.
    bool HashText(const std::string& text, std::string& identifier);
};

} // namespace DownloadSystem
