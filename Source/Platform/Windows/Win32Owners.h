#pragma once
// Move-only owners of the Win32 handle kinds this layer holds: each closes its handle with the
// call that handle kind needs, once, when destroyed or reset. Windows-only helper of this folder.

#include <windows.h>
// After windows.h, which they need.
#include <wincrypt.h>
#include <wininet.h>

#include <utility>

namespace Platform
{

// Traits: Type, the empty value, and Close for a non-empty one.
template <class Traits> class Win32Owner
{
public:
    using Type = typename Traits::Type;

    Win32Owner() = default;
    explicit Win32Owner(Type handle) : handle(handle) {}
    ~Win32Owner() { reset(); }
    Win32Owner(Win32Owner&& other) noexcept : handle(std::exchange(other.handle, Traits::Empty())) {}
    Win32Owner& operator=(Win32Owner&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.handle, Traits::Empty()));
        return *this;
    }
    Win32Owner(const Win32Owner&) = delete;
    Win32Owner& operator=(const Win32Owner&) = delete;

    Type get() const { return handle; }
    explicit operator bool() const { return handle != Traits::Empty(); }
    // Gives the handle up without closing it.
    Type release() { return std::exchange(handle, Traits::Empty()); }
    // For the calls that fill in a handle: the old one is closed first.
    Type* put()
    {
        reset();
        return &handle;
    }
    void reset(Type replacement = Traits::Empty())
    {
        // Closing may change the thread's last error, which callers read after a failure.
        if (handle != Traits::Empty())
        {
            const DWORD saved = ::GetLastError();
            Traits::Close(handle);
            ::SetLastError(saved);
        }
        handle = replacement;
    }

private:
    Type handle = Traits::Empty();
};

struct FileHandleTraits
{
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { ::CloseHandle(handle); }
};

struct InternetHandleTraits
{
    using Type = HINTERNET;
    static Type Empty() { return nullptr; }
    static void Close(Type handle) { ::InternetCloseHandle(handle); }
};

struct RegistryKeyTraits
{
    using Type = HKEY;
    static Type Empty() { return nullptr; }
    static void Close(Type handle) { ::RegCloseKey(handle); }
};

struct CryptProviderTraits
{
    using Type = HCRYPTPROV;
    static Type Empty() { return 0; }
    static void Close(Type handle) { ::CryptReleaseContext(handle, 0); }
};

struct CryptHashTraits
{
    using Type = HCRYPTHASH;
    static Type Empty() { return 0; }
    static void Close(Type handle) { ::CryptDestroyHash(handle); }
};

using FileHandle = Win32Owner<FileHandleTraits>;
using InternetHandle = Win32Owner<InternetHandleTraits>;
using RegistryKey = Win32Owner<RegistryKeyTraits>;
using CryptProvider = Win32Owner<CryptProviderTraits>;
using CryptHash = Win32Owner<CryptHashTraits>;

} // namespace Platform
