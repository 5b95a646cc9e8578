#include "Platform/DebugOutput.h"

namespace Platform
{

void WriteDebugOutput(const std::string&) {}

} // namespace Platform
