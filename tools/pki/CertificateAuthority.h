#pragma once
// A certificate authority made on the spot for local HTTPS services: it issues server
// certificates that name every host and address one by one in subjectAltName (TLS libraries
// refuse a wildcard directly under "localhost"). Clients trust it through its ca.pem.

#include <chrono>
#include <string>
#include <vector>

#include "OpenSslHandles.h"

namespace pki
{

struct CertificateRequest
{
    std::vector<std::string> dnsNames;
    std::vector<std::string> ipAddresses;
    // Validity relative to the time of issue; an end in the past gives an expired certificate.
    std::chrono::seconds validFrom = std::chrono::hours(-1);
    std::chrono::seconds validUntil = std::chrono::hours(24 * 30);
    // What the key may be used for, in OpenSSL's extendedKeyUsage syntax ("codeSigning",
    // "critical,timeStamping" for a time-stamping authority).
    std::string extendedKeyUsage = "serverAuth";
};

struct IssuedCertificate
{
    std::string certificatePem;
    std::string privateKeyPem;
};

class CertificateAuthority
{
public:
    // Generates the CA key and its self-signed certificate; IsValid tells whether that worked.
    explicit CertificateAuthority(const std::string& commonName = "Norvia Local Test CA");
    CertificateAuthority(CertificateAuthority&&) noexcept = default;
    CertificateAuthority& operator=(CertificateAuthority&&) noexcept = default;
    CertificateAuthority(const CertificateAuthority&) = delete;
    CertificateAuthority& operator=(const CertificateAuthority&) = delete;

    bool IsValid() const { return key && certificate; }
    std::string CertificatePem() const;

    // Issues a certificate (a server's, unless the request says otherwise) with a fresh key. Fails
    // (false) on an address that is not a dotted IPv4 or IPv6 text, on an empty name list or when
    // OpenSSL refuses.
    bool Issue(const CertificateRequest& request, IssuedCertificate& issued) const;

    // Writes ca.pem, <serverName>.pem and <serverName>-key.pem (owner-only) into folder,
    // creating the folder when missing.
    bool WriteFiles(const std::string& folder, const IssuedCertificate& server,
                    const std::string& serverName = "server") const;

    // The names the local services answer to, and the loopback addresses.
    static std::vector<std::string> LocalDnsNames();
    static std::vector<std::string> LoopbackAddresses();

private:
    KeyPtr key;
    CertificatePtr certificate;
};

} // namespace pki
