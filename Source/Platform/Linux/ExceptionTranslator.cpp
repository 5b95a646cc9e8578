#include "Platform/ExceptionTranslator.h"

namespace Platform
{

void InstallExceptionTranslator() {}

} // namespace Platform
