#pragma once
// Sole owner of one open platform handle (a file descriptor here); closes it when destroyed.

#include "Platform/NativeHandle.h"

namespace nd
{

class ScopedHandle
{
public:
    ScopedHandle() = default;
    explicit ScopedHandle(Platform::NativeHandle handle) : handle(handle) {}
    ~ScopedHandle() { Reset(); }

    ScopedHandle(ScopedHandle&& other) noexcept : handle(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    Platform::NativeHandle Get() const { return handle; }
    bool IsValid() const { return handle != Platform::kInvalidHandle; }

    // Gives up ownership without closing; the caller now owns the returned handle.
    Platform::NativeHandle Release()
    {
        Platform::NativeHandle released = handle;
        handle = Platform::kInvalidHandle;
        return released;
    }

    // Closes the held handle (if any) and takes the new one.
    void Reset(Platform::NativeHandle replacement = Platform::kInvalidHandle)
    {
        if (handle != Platform::kInvalidHandle && handle != replacement)
            Platform::CloseNativeHandle(handle);
        handle = replacement;
    }

private:
    Platform::NativeHandle handle = Platform::kInvalidHandle;
};

} // namespace nd
