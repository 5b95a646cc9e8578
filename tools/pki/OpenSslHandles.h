#pragma once
// Owners of the OpenSSL objects the certificate authority handles.

#include <memory>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace pki
{

struct OpenSslFree
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(X509* certificate) const { X509_free(certificate); }
    void operator()(X509_EXTENSION* extension) const { X509_EXTENSION_free(extension); }
    void operator()(BIO* bio) const { BIO_free_all(bio); }
};

using KeyPtr = std::unique_ptr<EVP_PKEY, OpenSslFree>;
using CertificatePtr = std::unique_ptr<X509, OpenSslFree>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, OpenSslFree>;
using BioPtr = std::unique_ptr<BIO, OpenSslFree>;

} // namespace pki
