// norvia_test_pki FOLDER: writes the test certificate authority and the servers' certificates
// into FOLDER (replacing what is there), for test programs that must trust the CA before the
// tests start; the tests then find it through NORVIA_TEST_PKI=FOLDER.

#include <cstdio>
#include <filesystem>

#include "support/TestPki.h"

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: norvia_test_pki FOLDER\n");
        return 2;
    }
    std::error_code ignored;
    std::filesystem::remove_all(argv[1], ignored);
    if (!testsupport::TestPki::Issue(argv[1]))
    {
        std::fprintf(stderr, "norvia_test_pki: could not write the certificates into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
