#pragma once
// The certificate files of the test servers, made once per test process in a temporary
// folder that is removed at exit.

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

    ~TestPki();
    TestPki(const TestPki&) = delete;
    TestPki& operator=(const TestPki&) = delete;

private:
    TestPki();

    std::string folder;
    std::string caFile;
    CertificateFiles files[4];
};

} // namespace testsupport
