#pragma once
// Facts about the machine that identify it across program runs. Failures come back as false
// with the system error number; nothing here touches the error log.

#include <cstdint>
#include <string>

namespace Platform
{

// The text of the operating system's installation id (machine-id), without line breaks.
bool ReadMachineGuid(std::string& text, int& error);

// Asks the root filesystem for its volume information; only success matters to callers.
bool QueryRootVolumeInformation(int& error);

// The root volume's name: "{" + filesystem UUID + "}" when the filesystem mounted at "/" has a
// UUID, otherwise its mount source without any braces (so callers find no GUID in it).
bool GetRootVolumeName(std::string& name, int& error);

// CPUID with leaf 0 and sub-leaf 0: EAX, EBX, ECX, EDX. Four zeros on other processors.
void ReadCpuidLeaf0(int32_t registers[4]);

} // namespace Platform
