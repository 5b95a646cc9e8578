#include "Platform/Digest.h"

namespace Platform
{

size_t DigestLength(DigestKind kind)
{
    switch (kind)
    {
    case DigestKind::Sha1:
        return 20;
    case DigestKind::Md5:
        return 16;
    case DigestKind::Sha256:
        return 32;
    }
    return 0;
}

} // namespace Platform
