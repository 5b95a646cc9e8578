#include "Platform/NativeHandle.h"

#include <windows.h>

namespace Platform
{

void CloseNativeHandle(NativeHandle handle)
{
    if (handle != kInvalidHandle)
        ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

} // namespace Platform
