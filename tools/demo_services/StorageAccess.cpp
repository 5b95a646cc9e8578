#include "demo_services/StorageAccess.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <memory>

namespace demo
{
namespace
{

std::string LowerAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

bool SameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string QueryValue(const std::string& query, const std::string& key)
{
    size_t from = 0;
    while (from <= query.size())
    {
        const size_t end = std::min(query.find('&', from), query.size());
        const std::string pair = query.substr(from, end - from);
        if (pair.compare(0, key.size() + 1, key + "=") == 0)
        {
            return pair.substr(key.size() + 1);
        }
        from = end + 1;
    }
    return {};
}

} // namespace

std::string SignedPathToken(const std::string& expiry, const std::string& folder,
                            const std::string& signature)
{
    const std::string message = expiry + "/" + folder + signature;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_Digest(message.data(), message.size(), digest, &digestLength, EVP_md5(), nullptr) != 1)
    {
        return {};
    }
    std::string token(4 * ((digestLength + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(token.data()), digest,
                                       static_cast<int>(digestLength));
    token.resize(static_cast<size_t>(std::max(length, 0)));
    std::replace(token.begin(), token.end(), '/', '_');
    std::replace(token.begin(), token.end(), '+', '-');
    return token;
}

AccessCheck CheckSignedPath(const std::string& target, const std::string& folder,
                            const std::string& signature, int64_t now)
{
    AccessCheck check;
    // "/" token "," expiry "/" lower-cased folder "/" file
    const size_t comma = target.find(',');
    const size_t slash = target.find('/', 1);
    if (target.empty() || target[0] != '/' || comma == std::string::npos || slash == std::string::npos ||
        comma > slash)
    {
        check.refusals.push_back("not a signed path");
        return check;
    }
    const std::string token = target.substr(1, comma - 1);
    const std::string expiry = target.substr(comma + 1, slash - comma - 1);
    const std::string rest = target.substr(slash + 1);

    const bool expiryIsNumber =
        !expiry.empty() && expiry.size() <= 10 &&
        std::all_of(expiry.begin(), expiry.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!expiryIsNumber)
    {
        check.refusals.push_back("expiry is not a number");
    }
    else
    {
        const int64_t expiresAt = std::stoll(expiry);
        if (expiresAt < now)
        {
            check.refusals.push_back("expired");
        }
        else if (expiresAt > now + kMaxExpirySeconds)
        {
            check.refusals.push_back("expiry too far ahead");
        }
    }
    // The token covers the folder as the description gave it, before lower-casing.
    if (!SameText(token, SignedPathToken(expiry, folder, signature)))
    {
        check.refusals.push_back("wrong token");
    }
    const std::string prefix = LowerAscii(folder) + "/";
    if (rest.compare(0, prefix.size(), prefix) != 0)
    {
        check.refusals.push_back("wrong folder (the signed folder is lower-cased)");
    }
    else
    {
        check.fileName = rest.substr(prefix.size());
        if (check.fileName.empty() || check.fileName.find('/') != std::string::npos)
        {
            check.refusals.push_back("no file in the folder");
            check.fileName.clear();
        }
    }
    check.granted = check.refusals.empty();
    return check;
}

AccessCheck CheckQuerySignature(const std::string& path, const std::string& query, const std::string& folder,
                                const std::string& signature)
{
    AccessCheck check;
    const std::string prefix = "/" + folder + "/";
    if (path.compare(0, prefix.size(), prefix) != 0)
    {
        check.refusals.push_back("wrong folder");
    }
    else
    {
        check.fileName = path.substr(prefix.size());
        if (check.fileName.empty() || check.fileName.find('/') != std::string::npos)
        {
            check.refusals.push_back("no file in the folder");
            check.fileName.clear();
        }
    }
    const std::string expected = QueryValue(signature.substr(signature.empty() ? 0 : 1), "sig");
    const std::string given = QueryValue(query, "sig");
    if (given.empty())
    {
        check.refusals.push_back("no signature");
    }
    else if (!SameText(given, expected))
    {
        check.refusals.push_back("wrong signature");
    }
    check.granted = check.refusals.empty();
    return check;
}

std::string MakeSignature(const std::string& secret)
{
    return "?sv=2021-08-06&sr=c&sp=r&sig=" + secret;
}

} // namespace demo
