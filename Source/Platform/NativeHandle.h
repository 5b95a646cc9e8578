#pragma once
// The operating system's handle for an open file: a file descriptor on this platform.

namespace Platform
{

using NativeHandle = int;
constexpr NativeHandle kInvalidHandle = -1;

// Closes the handle; an invalid handle is ignored. Never retried on EINTR (the descriptor is
// gone either way on this platform).
void CloseNativeHandle(NativeHandle handle);

} // namespace Platform
