#include "Platform/NativeHandle.h"

#include <unistd.h>

namespace Platform
{

void CloseNativeHandle(NativeHandle handle)
{
    if (handle != kInvalidHandle)
        ::close(handle);
}

} // namespace Platform
