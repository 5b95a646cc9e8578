#include "Platform/Digest.h"

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include "Platform/Windows/Win32Owners.h"

namespace Platform
{

namespace
{

constexpr DWORD kVerifyContext = CRYPT_VERIFYCONTEXT; // 0xF0000000: no key container

ALG_ID Algorithm(DigestKind kind)
{
    switch (kind)
    {
    case DigestKind::Sha1:
        return CALG_SHA1;
    case DigestKind::Md5:
        return CALG_MD5;
    case DigestKind::Sha256:
        return CALG_SHA_256;
    }
    return 0;
}

// A verify-only provider context. The full RSA provider knows SHA-1 and MD5; SHA-256 needs the
// AES-capable one (type 24), which one-shot digests take for every kind.
bool AcquireProvider(DWORD type, CryptProvider& provider)
{
    return ::CryptAcquireContextW(provider.put(), nullptr, nullptr, type, kVerifyContext) != 0;
}

} // namespace

// The hash is declared after its provider, so it is destroyed before the provider is released.
struct Digest::Impl
{
    CryptProvider provider;
    CryptHash hash;
    bool usable = false;
};

namespace
{

bool Begin(DigestKind kind, DWORD providerType, CryptProvider& provider, CryptHash& hash)
{
    const ALG_ID algorithm = Algorithm(kind);
    return algorithm != 0 && AcquireProvider(providerType, provider) &&
           ::CryptCreateHash(provider.get(), algorithm, 0, 0, hash.put()) != 0;
}

bool HashData(CryptHash& hash, const void* data, size_t size)
{
    const auto* bytes = static_cast<const BYTE*>(data);
    while (size > 0)
    {
        const DWORD piece = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        if (!::CryptHashData(hash.get(), bytes, piece, 0))
            return false;
        bytes += piece;
        size -= piece;
    }
    return true;
}

bool ReadDigest(CryptHash& hash, std::vector<uint8_t>& digest)
{
    DWORD length = 0;
    DWORD lengthSize = sizeof length;
    if (!::CryptGetHashParam(hash.get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&length), &lengthSize, 0) ||
        length == 0)
        return false;
    digest.assign(length, 0);
    if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, digest.data(), &length, 0))
    {
        digest.clear();
        return false;
    }
    digest.resize(length);
    return true;
}

} // namespace

Digest::Digest(DigestKind kind) : impl(std::make_unique<Impl>())
{
    const DWORD type = kind == DigestKind::Sha256 ? PROV_RSA_AES : PROV_RSA_FULL;
    impl->usable = Begin(kind, type, impl->provider, impl->hash);
}

Digest::~Digest() = default;
Digest::Digest(Digest&&) noexcept = default;
Digest& Digest::operator=(Digest&&) noexcept = default;

bool Digest::IsValid() const
{
    return impl && impl->usable;
}

bool Digest::Update(const void* data, size_t size)
{
    if (!IsValid())
        return false;
    if (size == 0)
        return true;
    if (data == nullptr || !HashData(impl->hash, data, size))
    {
        impl->usable = false;
        return false;
    }
    return true;
}

bool Digest::Finish(std::vector<uint8_t>& digest)
{
    digest.clear();
    if (!IsValid())
        return false;
    impl->usable = false;
    return ReadDigest(impl->hash, digest);
}

bool ComputeDigest(DigestKind kind, const void* data, size_t size, std::vector<uint8_t>& digest)
{
    digest.clear();
    CryptProvider provider;
    CryptHash hash;
    if (!Begin(kind, PROV_RSA_AES, provider, hash))
        return false;
    if (size > 0 && (data == nullptr || !HashData(hash, data, size)))
        return false;
    return ReadDigest(hash, digest);
}

} // namespace Platform
