#include "demo_services/Certificates.h"

#include "demo_services/ServiceEndpoints.h"

#include <CertificateAuthority.h>

#include <filesystem>

namespace demo
{

bool MakeCertificates(const std::string& folder, CertificateFiles& files, std::string& error)
{
    pki::CertificateAuthority authority("Norvia Demo Services CA");
    if (!authority.IsValid())
    {
        error = "cannot make a certificate authority";
        return false;
    }
    pki::CertificateRequest request;
    request.dnsNames = {"localhost"};
    request.dnsNames.insert(request.dnsNames.end(), kHostNames.begin(), kHostNames.end());
    request.ipAddresses = {"127.0.0.1"};
    request.validUntil = std::chrono::hours(24 * 7);
    pki::IssuedCertificate issued;
    if (!authority.Issue(request, issued) || !authority.WriteFiles(folder, issued, "server"))
    {
        error = "cannot issue or write the server certificate in " + folder;
        return false;
    }
    const std::filesystem::path base = std::filesystem::absolute(folder);
    files.caFile = (base / "ca.pem").string();
    files.certFile = (base / "server.pem").string();
    files.keyFile = (base / "server-key.pem").string();
    return true;
}

} // namespace demo
