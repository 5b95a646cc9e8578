#pragma once
// Message digests (SHA-1, MD5, SHA-256) computed by the system's crypto library.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Platform
{

enum class DigestKind
{
    Sha1,
    Md5,
    Sha256,
};

// The digest length in bytes: 20, 16 or 32.
size_t DigestLength(DigestKind kind);

// One-shot digest of size bytes; false (and an empty result) on any failure.
bool ComputeDigest(DigestKind kind, const void* data, size_t size, std::vector<uint8_t>& digest);

// Incremental digest for data that arrives in pieces. After Finish (or any failure) further
// Update calls fail until the object is made anew. Move-only; owned by one thread at a time.
class Digest
{
public:
    explicit Digest(DigestKind kind);
    ~Digest();
    Digest(Digest&&) noexcept;
    Digest& operator=(Digest&&) noexcept;
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    bool IsValid() const;
    bool Update(const void* data, size_t size);
    bool Finish(std::vector<uint8_t>& digest);

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

} // namespace Platform
