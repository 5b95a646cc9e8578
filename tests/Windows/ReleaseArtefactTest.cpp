// What users receive, read back from the built release program (build/windows/release, the file
// scripts/release.sh ships): its resources, as Windows and Explorer read them, and a signature
// made by scripts/sign-windows.sh with a certificate and a time-stamping authority of the test.
// None of this runs the program, so no wine is needed.

#include "CertificateAuthority.h"
#include "support/HttpsTestServer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace
{

const fs::path kRelease = fs::path(NORVIA_WINDOWS_BUILD_DIR) / "release" / "NorviaDownloadManager.exe";

struct Outcome
{
    int status;
    std::string output;
};

// Runs a shell command line, standard error with the output.
Outcome Shell(const std::string& command)
{
    Outcome outcome{-1, {}};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return outcome;
    std::array<char, 4096> buffer;
    for (size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        outcome.output.append(buffer.data(), n);
    const int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

std::string Quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

std::string Resource(const std::string& type, const std::string& name)
{
    const Outcome read =
        Shell("wrestool -x --raw --type=" + type + " --name=" + name + " " + Quoted(kRelease));
    EXPECT_EQ(read.status, 0) << "wrestool (icoutils) failed on " << kRelease
                              << " (was the Windows build made?): " << read.output;
    return read.output;
}

uint16_t Word(const std::string& bytes, size_t at)
{
    return at + 2 <= bytes.size() ? static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                                          static_cast<unsigned char>(bytes[at + 1]) << 8)
                                  : 0;
}

// The version resource with each UTF-16 unit as one character: a string entry reads
// "<type 1><name>\0[padding \0]<value>\0".
std::string StringValue(const std::string& narrowed, const std::string& name)
{
    size_t at = narrowed.find('\x01' + name + '\0');
    if (at == std::string::npos)
        return {};
    at = narrowed.find_first_not_of('\0', at + name.size() + 2);
    return narrowed.substr(at, narrowed.find('\0', at) - at);
}

} // namespace

TEST(ReleaseArtefact, ManifestDeclaresRightsSystemsDpiAndLongPaths)
{
    const std::string manifest = Resource("24", "1");
    for (const char* expected : {
             R"(level="asInvoker")",
             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // Windows 7
             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // 8
             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // 8.1
             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // 10 and 11
             ">PerMonitorV2, PerMonitor</dpiAwareness>",
             ">true/pm</dpiAware>",
             ">true</longPathAware>",
         })
        EXPECT_NE(manifest.find(expected), std::string::npos) << expected << " missing from\n" << manifest;
}

TEST(ReleaseArtefact, VersionResourceNamesTheProductAndCountsTheCommits)
{
    const std::string resource = Resource("16", "1");
    std::string narrowed;
    for (size_t at = 0; at + 1 < resource.size(); at += 2)
        narrowed += static_cast<char>(Word(resource, at));
    const Outcome commits = Shell("git -C " + Quoted(NORVIA_SOURCE_DIR) + " rev-list --count HEAD");
    ASSERT_EQ(commits.status, 0) << commits.output;
    const int count = std::stoi(commits.output);
    const std::string version = "9.5." + std::to_string(count) + ".0";
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"CompanyName", "Norvia"},
        {"ProductName", "Norvia Download Manager"},
        {"FileDescription", "Norvia Download Manager"},
        {"InternalName", "NorviaDownloadManager"},
        {"OriginalFilename", "NorviaDownloadManager.exe"},
        {"LegalCopyright", "Copyright Norvia"},
        {"FileVersion", version},
        {"ProductVersion", version},
    };
    for (const auto& [name, value] : expected)
        EXPECT_EQ(StringValue(narrowed, name), value)
            << name << " (a build before the last commit has an older count)";
    // The fixed part (VS_FIXEDFILEINFO after its signature): file version 9.5, N.0.
    const size_t fixed = resource.find("\xBD\x04\xEF\xFE");
    ASSERT_NE(fixed, std::string::npos);
    EXPECT_EQ((std::array<uint16_t, 4>{Word(resource, fixed + 10), Word(resource, fixed + 8),
                                       Word(resource, fixed + 14), Word(resource, fixed + 12)}),
              (std::array<uint16_t, 4>{9, 5, static_cast<uint16_t>(count), 0}));
}

TEST(ReleaseArtefact, IconHasEverySizeAndItsArrowShowsAtSixteenPixels)
{
    // The group: a 6-byte header, then 14 bytes per image whose first byte is the width (0: 256).
    const std::string group = Resource("14", "1");
    std::vector<int> sizes;
    for (size_t at = 6; at + 14 <= group.size(); at += 14)
        sizes.push_back(static_cast<unsigned char>(group[at]) == 0 ? 256
                                                                   : static_cast<unsigned char>(group[at]));
    EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 256}));

    // The 16-pixel image is a 32-bit bitmap after its 40-byte header: the accent badge must carry
    // a white arrow that did not blur into it.
    const std::string small = Resource("3", "1");
    ASSERT_GE(small.size(), 40u + 16 * 16 * 4);
    int white = 0, accent = 0;
    for (size_t at = 40; at < 40 + 16 * 16 * 4; at += 4)
    {
        const auto b = static_cast<unsigned char>(small[at]), g = static_cast<unsigned char>(small[at + 1]),
                   r = static_cast<unsigned char>(small[at + 2]),
                   a = static_cast<unsigned char>(small[at + 3]);
        if (a > 200 && r > 220 && g > 220 && b > 220)
            ++white;
        else if (a > 200 && b > r + 40)
            ++accent;
    }
    EXPECT_GE(white, 12) << "the arrow is lost at 16 pixels";
    EXPECT_GE(accent, 100) << "the badge is lost at 16 pixels";
}

// A certificate with code-signing use from an authority of the test signs a small program; a
// time-stamping authority of the test answers on loopback with `openssl ts -reply`.
TEST(ReleaseArtefact, SignedWithSha256AndTimeStampedVerifiesAgainstItsAuthority)
{
    const fs::path work = fs::path(testing::TempDir()) / "norvia-signing";
    fs::remove_all(work);
    fs::create_directories(work);
    pki::CertificateAuthority authority("Norvia Test Signing CA");
    pki::IssuedCertificate signer, stamper;
    pki::CertificateRequest signing, stamping;
    signing.dnsNames = {"signing.localhost"};
    signing.extendedKeyUsage = "codeSigning";
    stamping.dnsNames = {"timestamp.localhost"};
    stamping.extendedKeyUsage = "critical,timeStamping";
    ASSERT_TRUE(authority.Issue(signing, signer) && authority.Issue(stamping, stamper));
    ASSERT_TRUE(authority.WriteFiles(work.string(), signer, "signer") &&
                authority.WriteFiles(work.string(), stamper, "tsa"));
    std::ofstream(work / "tsa-serial") << "01\n";
    std::ofstream(work / "ts.cnf") << "[tsa]\ndefault_tsa = tsa_config\n[tsa_config]\n"
                                   << "serial = " << (work / "tsa-serial").string() << "\n"
                                   << "signer_digest = sha256\ndefault_policy = 1.2.3.4.1\n"
                                   << "digests = sha256\naccuracy = secs:1\ness_cert_id_alg = sha256\n";

    testsupport::HttpsTestServer responder(testsupport::ServerOptions{false});
    responder.Route("POST", "/",
                    [&](const testsupport::RecordedRequest& request)
                    {
                        std::ofstream(work / "request.tsq", std::ios::binary) << request.body;
                        const Outcome reply =
                            Shell("openssl ts -reply -config " + Quoted(work / "ts.cnf") + " -queryfile " +
                                  Quoted(work / "request.tsq") + " -signer " + Quoted(work / "tsa.pem") +
                                  " -inkey " + Quoted(work / "tsa-key.pem") + " -chain " +
                                  Quoted(work / "ca.pem") + " -out " + Quoted(work / "reply.tsr"));
                        if (reply.status != 0)
                            return testsupport::Response::Status(500, reply.output);
                        std::ifstream in(work / "reply.tsr", std::ios::binary);
                        testsupport::Response answer =
                            testsupport::Response::Ok({std::istreambuf_iterator<char>(in), {}});
                        answer.contentType = "application/timestamp-reply";
                        return answer;
                    });
    ASSERT_TRUE(responder.Start());

    const fs::path program = work / "program.exe";
    fs::copy_file(fs::path(NORVIA_WINDOWS_BUILD_DIR) / "norvia_launch_recorder.exe", program);
    const Outcome sign = Shell(Quoted(fs::path(NORVIA_SOURCE_DIR) / "scripts/sign-windows.sh") + " " +
                               Quoted(program) + " " + Quoted(work / "signer.pem") + " " +
                               Quoted(work / "signer-key.pem") + " --timestamp " + responder.Url("/"));
    ASSERT_EQ(sign.status, 0) << sign.output;
    EXPECT_EQ(responder.Requests().size(), 1u) << "one time-stamp request";

    const std::string verify =
        "osslsigncode verify -in " + Quoted(program) + " -TSA-CAfile " + Quoted(work / "ca.pem");
    const Outcome trusted = Shell(verify + " -CAfile " + Quoted(work / "ca.pem"));
    EXPECT_EQ(trusted.status, 0) << trusted.output;
    EXPECT_NE(trusted.output.find("SHA256"), std::string::npos) << trusted.output;
    EXPECT_NE(trusted.output.find("Timestamp time:"), std::string::npos) << trusted.output;

    // Another authority's view: the same signature is not accepted.
    pki::CertificateAuthority stranger("Someone Else");
    std::ofstream(work / "stranger.pem") << stranger.CertificatePem();
    EXPECT_NE(Shell(verify + " -CAfile " + Quoted(work / "stranger.pem")).status, 0);
}
