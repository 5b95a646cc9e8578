#pragma once
// The system's description of an error number (errno value).

#include <cstdint>
#include <string>

namespace Platform
{

// The English text of a known error number; false for 0 and for numbers the system does not
// know (no "Unknown error" texts are produced). Thread-safe.
bool SystemErrorText(int32_t errorNumber, std::string& text);

} // namespace Platform
