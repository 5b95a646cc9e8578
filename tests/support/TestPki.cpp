#include "support/TestPki.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "CertificateAuthority.h"

namespace testsupport
{
namespace
{

bool MakeFiles(const pki::CertificateAuthority& ca, const pki::CertificateRequest& request,
               const std::string& folder, CertificateFiles& files)
{
    pki::IssuedCertificate issued;
    if (!ca.Issue(request, issued) || !ca.WriteFiles(folder, issued))
        return false;
    files = {folder + "/server.pem", folder + "/server-key.pem"};
    return true;
}

} // namespace

const TestPki& TestPki::Instance()
{
    static TestPki pki;
    return pki;
}

TestPki::TestPki()
{
    char pattern[] = "/tmp/norvia-test-pki-XXXXXX";
    if (!mkdtemp(pattern))
        return;
    folder = pattern;

    pki::CertificateAuthority ca;
    pki::CertificateAuthority stranger("Untrusted Test CA");
    pki::CertificateRequest local;
    local.dnsNames = pki::CertificateAuthority::LocalDnsNames();
    local.ipAddresses = pki::CertificateAuthority::LoopbackAddresses();

    pki::CertificateRequest expired = local;
    expired.validFrom = std::chrono::hours(-48);
    expired.validUntil = std::chrono::hours(-24);

    pki::CertificateRequest wrongName;
    wrongName.dnsNames = {"elsewhere.localhost"};

    if (MakeFiles(ca, local, folder + "/trusted", files[static_cast<int>(Certificate::Trusted)]))
        caFile = folder + "/trusted/ca.pem";
    MakeFiles(stranger, local, folder + "/untrusted", files[static_cast<int>(Certificate::UntrustedIssuer)]);
    MakeFiles(ca, expired, folder + "/expired", files[static_cast<int>(Certificate::Expired)]);
    MakeFiles(ca, wrongName, folder + "/wrongname", files[static_cast<int>(Certificate::WrongName)]);
}

TestPki::~TestPki()
{
    if (!folder.empty())
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

const CertificateFiles& TestPki::Files(Certificate kind) const
{
    return files[static_cast<int>(kind)];
}

} // namespace testsupport
