#include "CertificateAuthority.h"

#include <cstdint>
#include <filesystem>
#include <fstream>

#include <openssl/pem.h>
#include <openssl/rand.h>

namespace pki
{
namespace
{

KeyPtr GenerateKey()
{
    // P-256 keeps generation fast enough to make certificates in every test run; an EC key
    // signs the handshake and never enciphers keys, hence the key usage below.
    return KeyPtr(EVP_EC_gen("P-256"));
}

bool SetRandomSerial(X509* certificate)
{
    unsigned char bytes[8];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return false;
    bytes[0] &= 0x7F; // serial numbers must be positive
    uint64_t value = 0;
    for (unsigned char byte : bytes)
        value = (value << 8) | byte;
    return ASN1_INTEGER_set_uint64(X509_get_serialNumber(certificate), value) == 1;
}

bool SetValidity(X509* certificate, std::chrono::seconds from, std::chrono::seconds until)
{
    return X509_gmtime_adj(X509_getm_notBefore(certificate), static_cast<long>(from.count())) &&
           X509_gmtime_adj(X509_getm_notAfter(certificate), static_cast<long>(until.count()));
}

bool SetCommonName(X509* certificate, const std::string& commonName)
{
    X509_NAME* name = X509_get_subject_name(certificate);
    return X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                      reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                                      0) == 1;
}

bool AddExtension(X509* certificate, X509* issuer, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

bool AddSubjectAltNames(X509* certificate, const CertificateRequest& request)
{
    GENERAL_NAMES* names = sk_GENERAL_NAME_new_null();
    if (!names)
        return false;
    bool ok = true;
    for (const std::string& dns : request.dnsNames)
    {
        GENERAL_NAME* entry = GENERAL_NAME_new();
        ASN1_IA5STRING* text = ASN1_IA5STRING_new();
        if (!entry || !text || !ASN1_STRING_set(text, dns.data(), static_cast<int>(dns.size())))
        {
            GENERAL_NAME_free(entry);
            ASN1_IA5STRING_free(text);
            ok = false;
            break;
        }
        GENERAL_NAME_set0_value(entry, GEN_DNS, text);
        sk_GENERAL_NAME_push(names, entry);
    }
    for (size_t i = 0; ok && i < request.ipAddresses.size(); ++i)
    {
        ASN1_OCTET_STRING* address = a2i_IPADDRESS(request.ipAddresses[i].c_str());
        GENERAL_NAME* entry = address ? GENERAL_NAME_new() : nullptr;
        if (!entry)
        {
            ASN1_OCTET_STRING_free(address);
            ok = false;
            break;
        }
        GENERAL_NAME_set0_value(entry, GEN_IPADD, address);
        sk_GENERAL_NAME_push(names, entry);
    }
    ok = ok && X509_add1_ext_i2d(certificate, NID_subject_alt_name, names, 0, X509V3_ADD_DEFAULT) == 1;
    GENERAL_NAMES_free(names);
    return ok;
}

std::string ToPem(X509* certificate)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1)
        return {};
    char* data = nullptr;
    long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(length));
}

std::string ToPem(EVP_PKEY* key)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    char* data = nullptr;
    long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(length));
}

bool WriteText(const std::filesystem::path& path, const std::string& text, bool secret)
{
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        if (!file.write(text.data(), static_cast<std::streamsize>(text.size())))
            return false;
    }
    std::error_code error;
    if (secret)
        std::filesystem::permissions(path,
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::replace, error);
    return !error;
}

} // namespace

CertificateAuthority::CertificateAuthority(const std::string& commonName)
{
    KeyPtr newKey = GenerateKey();
    CertificatePtr newCertificate(X509_new());
    if (!newKey || !newCertificate)
        return;
    X509* cert = newCertificate.get();
    bool ok = X509_set_version(cert, X509_VERSION_3) && SetRandomSerial(cert) &&
              SetValidity(cert, std::chrono::hours(-1), std::chrono::hours(24 * 365 * 10)) &&
              SetCommonName(cert, commonName) && X509_set_issuer_name(cert, X509_get_subject_name(cert)) &&
              X509_set_pubkey(cert, newKey.get()) &&
              AddExtension(cert, cert, NID_basic_constraints, "critical,CA:TRUE") &&
              AddExtension(cert, cert, NID_key_usage, "critical,keyCertSign,cRLSign") &&
              AddExtension(cert, cert, NID_subject_key_identifier, "hash") &&
              X509_sign(cert, newKey.get(), EVP_sha256()) > 0;
    if (!ok)
        return;
    key = std::move(newKey);
    certificate = std::move(newCertificate);
}

std::string CertificateAuthority::CertificatePem() const
{
    return certificate ? ToPem(certificate.get()) : std::string();
}

bool CertificateAuthority::Issue(const CertificateRequest& request, IssuedCertificate& issued) const
{
    if (!IsValid() || (request.dnsNames.empty() && request.ipAddresses.empty()))
        return false;
    KeyPtr serverKey = GenerateKey();
    CertificatePtr server(X509_new());
    if (!serverKey || !server)
        return false;
    X509* cert = server.get();
    const std::string commonName =
        request.dnsNames.empty() ? request.ipAddresses.front() : request.dnsNames.front();
    bool ok = X509_set_version(cert, X509_VERSION_3) && SetRandomSerial(cert) &&
              SetValidity(cert, request.validFrom, request.validUntil) && SetCommonName(cert, commonName) &&
              X509_set_issuer_name(cert, X509_get_subject_name(certificate.get())) &&
              X509_set_pubkey(cert, serverKey.get()) &&
              AddExtension(cert, certificate.get(), NID_basic_constraints, "critical,CA:FALSE") &&
              AddExtension(cert, certificate.get(), NID_key_usage, "critical,digitalSignature") &&
              AddExtension(cert, certificate.get(), NID_ext_key_usage, request.extendedKeyUsage.c_str()) &&
              AddExtension(cert, certificate.get(), NID_subject_key_identifier, "hash") &&
              AddExtension(cert, certificate.get(), NID_authority_key_identifier, "keyid:always") &&
              AddSubjectAltNames(cert, request) && X509_sign(cert, key.get(), EVP_sha256()) > 0;
    if (!ok)
        return false;
    IssuedCertificate result{ToPem(cert), ToPem(serverKey.get())};
    if (result.certificatePem.empty() || result.privateKeyPem.empty())
        return false;
    issued = std::move(result);
    return true;
}

bool CertificateAuthority::WriteFiles(const std::string& folder, const IssuedCertificate& server,
                                      const std::string& serverName) const
{
    if (!IsValid())
        return false;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        return false;
    const std::filesystem::path base(folder);
    return WriteText(base / "ca.pem", CertificatePem(), false) &&
           WriteText(base / (serverName + ".pem"), server.certificatePem, false) &&
           WriteText(base / (serverName + "-key.pem"), server.privateKeyPem, true);
}

std::vector<std::string> CertificateAuthority::LocalDnsNames()
{
    // The storage name carries the marker that makes the client sign its paths.
    return {"localhost",         "service.localhost", "storage.localhost",
            "content.localhost", "support.localhost", "product-download-storage-v2.localhost"};
}

std::vector<std::string> CertificateAuthority::LoopbackAddresses()
{
    return {"127.0.0.1", "::1"};
}

} // namespace pki
