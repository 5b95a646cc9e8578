#pragma once
// The services' certificate authority and server certificate, made at start into a folder.

#include <string>

namespace demo
{

struct CertificateFiles
{
    std::string caFile; // what clients trust (SSL_CERT_FILE)
    std::string certFile;
    std::string keyFile;
};

// Makes a CA and a server certificate naming every service host and 127.0.0.1, and writes
// them into folder. False with error set when that fails.
bool MakeCertificates(const std::string& folder, CertificateFiles& files, std::string& error);

} // namespace demo
