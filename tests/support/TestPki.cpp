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
               const std::string& folder)
{
    pki::IssuedCertificate issued;
    return ca.Issue(request, issued) && ca.WriteFiles(folder, issued);
}

} // namespace

const TestPki& TestPki::Instance()
{
    static TestPki pki;
    return pki;
}

TestPki::TestPki()
{
    // A folder made beforehand (for programs that must trust the CA before the tests start, as
    // under wine) is used as it is and left in place.
    const char* shared = std::getenv("NORVIA_TEST_PKI");
    if (shared != nullptr && *shared != '\0')
    {
        UseFolder(shared);
        return;
    }
    char pattern[] = "/tmp/norvia-test-pki-XXXXXX";
    if (!mkdtemp(pattern))
        return;
    folder = pattern;
    owned = true;
    if (Issue(folder))
        UseFolder(folder);
}

bool TestPki::Issue(const std::string& folder)
{
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

    return MakeFiles(ca, local, folder + "/trusted") && MakeFiles(stranger, local, folder + "/untrusted") &&
           MakeFiles(ca, expired, folder + "/expired") && MakeFiles(ca, wrongName, folder + "/wrongname");
}

void TestPki::UseFolder(const std::string& path)
{
    const char* kinds[] = {"trusted", "untrusted", "expired", "wrongname"};
    for (int i = 0; i < 4; ++i)
    {
        const std::string base = path + "/" + kinds[i];
        if (std::filesystem::exists(base + "/server.pem"))
            files[i] = {base + "/server.pem", base + "/server-key.pem"};
    }
    if (!files[0].certificate.empty())
        caFile = path + "/trusted/ca.pem";
}

TestPki::~TestPki()
{
    if (owned)
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
