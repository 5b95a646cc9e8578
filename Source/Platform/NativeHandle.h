#pragma once
// The operating system's handle for an open file: a file descriptor on Linux, a HANDLE on
// Windows, held in an integer wide enough for either. -1 is the invalid handle on both (the value
// of INVALID_HANDLE_VALUE on Windows).

#include <cstdint>

namespace Platform
{

using NativeHandle = intptr_t;
constexpr NativeHandle kInvalidHandle = -1;

// Closes the handle; an invalid handle is ignored. Never retried on EINTR (the descriptor is
// gone either way on Linux).
void CloseNativeHandle(NativeHandle handle);

} // namespace Platform
