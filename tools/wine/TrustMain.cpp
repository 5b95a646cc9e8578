// norvia_wine_trust < ca.pem
//
// Adds the PEM certificate on standard input to the ROOT store of the local machine, after
// removing any certificate of the same subject (an earlier test CA), so that a prefix trusts the
// current test CA and no other. Run under wine in the prefix that is to trust it; a real Windows
// machine is never meant to run it.

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

bool Fail(const char* step)
{
    std::fprintf(stderr, "norvia_wine_trust: %s failed (%lu)\n", step, ::GetLastError());
    return false;
}

bool Trust(const std::string& pem)
{
    DWORD length = 0;
    if (!::CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &length, nullptr,
                                nullptr))
        return Fail("reading the PEM text");
    std::vector<BYTE> der(length);
    if (!::CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &length, nullptr,
                                nullptr))
        return Fail("reading the PEM text");
    const PCCERT_CONTEXT certificate = ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), length);
    if (!certificate)
        return Fail("decoding the certificate");

    bool ok = false;
    // The registry store itself: wine's logical ROOT store takes a first certificate but drops
    // later changes without a word.
    const HCERTSTORE store =
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
    if (!store)
    {
        Fail("opening the ROOT store");
    }
    else
    {
        // Deleting frees the found context, so each search starts over.
        while (const PCCERT_CONTEXT old =
                   ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME,
                                                &certificate->pCertInfo->Subject, nullptr))
            ::CertDeleteCertificateFromStore(old);
        ok = ::CertAddCertificateContextToStore(store, certificate, CERT_STORE_ADD_REPLACE_EXISTING,
                                                nullptr) != 0;
        if (!ok)
            Fail("adding the certificate");
        ::CertCloseStore(store, 0);
    }
    ::CertFreeCertificateContext(certificate);
    return ok;
}

} // namespace

int main()
{
    const std::string pem((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    return Trust(pem) ? 0 : 1;
}
