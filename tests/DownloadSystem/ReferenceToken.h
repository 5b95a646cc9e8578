#pragma once
// The storage token computed independently of the engine, with OpenSSL directly, so that the
// signing tests compare against something the engine's own code did not produce.

#include <openssl/evp.h>

#include <string>

namespace enginetest
{

inline std::string ReferenceToken(const std::string& message)
{
    unsigned char digest[16];
    unsigned int length = 0;
    EVP_Digest(message.data(), message.size(), digest, &length, EVP_md5(), nullptr);
    unsigned char encoded[32] = {};
    EVP_EncodeBlock(encoded, digest, 16);
    std::string token(reinterpret_cast<char*>(encoded));
    for (char& c : token)
        c = c == '/' ? '_' : c == '+' ? '-' : c;
    return token;
}

} // namespace enginetest
