#pragma once
// Sole owner of an OpenSSL message-digest context.

#include <openssl/evp.h>

namespace Platform
{

class EvpMdContext
{
public:
    EvpMdContext() : context(EVP_MD_CTX_new()) {}
    ~EvpMdContext() { EVP_MD_CTX_free(context); }
    EvpMdContext(EvpMdContext&& other) noexcept : context(other.context) { other.context = nullptr; }
    EvpMdContext& operator=(EvpMdContext&& other) noexcept
    {
        if (this != &other)
        {
            EVP_MD_CTX_free(context);
            context = other.context;
            other.context = nullptr;
        }
        return *this;
    }
    EvpMdContext(const EvpMdContext&) = delete;
    EvpMdContext& operator=(const EvpMdContext&) = delete;

    EVP_MD_CTX* Get() const { return context; }
    bool IsValid() const { return context != nullptr; }

private:
    EVP_MD_CTX* context;
};

} // namespace Platform
