#pragma once
// The certificate files of the test servers, made once per test process in a temporary
// folder that is removed at exit, or taken from the folder NORVIA_TEST_PKI names.

#include <string>

#include "support/HttpsTestServer.h"

namespace testsupport
{

struct CertificateFiles
{
    std::string certificate;
    std::string key;
};

class TestPki
{
public:
    static const TestPki& Instance();

    const std::string& CaFile() const { return caFile; }
    // Empty paths when the files could not be made.
    const CertificateFiles& Files(Certificate kind) const;

    // Writes the CA (trusted/ca.pem) and the four server certificates into folder.
    static bool Issue(const std::string& folder);

    ~TestPki();
    TestPki(const TestPki&) = delete;
    TestPki& operator=(const TestPki&) = delete;

private:
    TestPki();
    void UseFolder(const std::string& path);

    std::string folder;
    bool owned = false; // made by this process, removed with it
    std::string caFile;
    CertificateFiles files[4];
};

} // namespace testsupport
