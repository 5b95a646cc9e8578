#include "Platform/Digest.h"

#include <openssl/evp.h>

#include "Platform/Linux/EvpMdContext.h"

namespace Platform
{

namespace
{

const EVP_MD* Algorithm(DigestKind kind)
{
    switch (kind)
    {
    case DigestKind::Sha1:
        return EVP_sha1();
    case DigestKind::Md5:
        return EVP_md5();
    case DigestKind::Sha256:
        return EVP_sha256();
    }
    return nullptr;
}

} // namespace

struct Digest::Impl
{
    EvpMdContext context;
    bool usable = false;
};

Digest::Digest(DigestKind kind) : impl(std::make_unique<Impl>())
{
    const EVP_MD* algorithm = Algorithm(kind);
    impl->usable = impl->context.IsValid() && algorithm != nullptr &&
                   EVP_DigestInit_ex(impl->context.Get(), algorithm, nullptr) == 1;
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
    if (data == nullptr || EVP_DigestUpdate(impl->context.Get(), data, size) != 1)
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
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(impl->context.Get(), out, &length) != 1)
        return false;
    digest.assign(out, out + length);
    return true;
}

bool ComputeDigest(DigestKind kind, const void* data, size_t size, std::vector<uint8_t>& digest)
{
    Digest session(kind);
    if (!session.Update(data, size))
    {
        digest.clear();
        return false;
    }
    return session.Finish(digest);
}

} // namespace Platform
