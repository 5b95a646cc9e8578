// The demo services over real loopback HTTPS, as the program meets them: each request names
// its service through the Host header and the client verifies the services' own CA.

#include "demo_services/Artwork.h"
#include "demo_services/Certificates.h"
#include "demo_services/DemoRelease.h"
#include "demo_services/DemoServer.h"
#include "demo_services/RequestLog.h"
#include "demo_services/ServiceEndpoints.h"
#include "demo_services/StorageAccess.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <stb_image.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace
{

const char* kRelease = "Norvia_3_2_Home";

class DemoServicesHttps : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { artwork = new demo::Artwork(demo::PaintArtwork()); }
    static void TearDownTestSuite()
    {
        delete artwork;
        artwork = nullptr;
    }

    void Start(const std::string& damagedFile = "")
    {
        folder =
            fs::temp_directory_path() / ("norvia_demo_https_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        demo::ServiceOptions options;
        options.stateDir = folder.string();
        options.damagedFile = damagedFile;
        demo::ResolveDefaults(options);
        std::string error;
        ASSERT_TRUE(demo::MakeCertificates((folder / "certificates").string(), certificates, error)) << error;
        auto release = demo::DemoRelease::Generate(folder / "storage", kRelease, 2, 70000, 9000, error);
        ASSERT_TRUE(release) << error;
        log = std::make_unique<demo::RequestLog>(options.requestLog);
        endpoints = std::make_unique<demo::ServiceEndpoints>(options, *release, *artwork, "5ec12e7");
        server = std::make_unique<demo::DemoServer>(*endpoints, *log);
        port = server->Start(certificates.certFile, certificates.keyFile, 0, error);
        ASSERT_NE(port, 0) << error;
    }

    void TearDown() override
    {
        if (server)
        {
            EXPECT_TRUE(server->Stop(3000));
        }
        if (!HasFailure())
        {
            std::error_code ec;
            fs::remove_all(folder, ec);
        }
    }

    // Connects to 127.0.0.1 and names the service in the Host header, verifying the CA.
    httplib::Result Request(const std::string& verb, const std::string& hostName, const std::string& target,
                            httplib::Headers headers = {}, const std::string& body = {})
    {
        httplib::SSLClient client("127.0.0.1", port);
        client.set_ca_cert_path(certificates.caFile.c_str());
        client.enable_server_certificate_verification(true);
        client.set_connection_timeout(5);
        client.set_read_timeout(10);
        headers.emplace("Host", hostName + ":" + std::to_string(port));
        if (verb == "POST")
        {
            return client.Post(target.c_str(), headers, body, "application/x-www-form-urlencoded");
        }
        return client.Get(target.c_str(), headers);
    }

    nlohmann::json Describe()
    {
        auto res = Request("POST", demo::kServiceName, demo::kServicePath, {{"Method", "RequestDownload"}},
                           "DownloadManagerVersion=9.5&ReleaseName=" + std::string(kRelease));
        EXPECT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        return nlohmann::json::parse(res->body);
    }

    // What the program does with the description: sign the folder, then ask for files in it.
    std::string SignedTarget(const nlohmann::json& description, const std::string& file,
                             int64_t lifetime = 259200)
    {
        const std::string folder = description["download_subdir"];
        const std::string expiry = std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                                      std::chrono::system_clock::now().time_since_epoch())
                                                      .count() +
                                                  lifetime);
        std::string lower = folder;
        for (char& c : lower)
        {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return "/" + demo::SignedPathToken(expiry, folder, description["SAS"]) + "," + expiry + "/" + lower +
               "/" + file;
    }

    static inline demo::Artwork* artwork = nullptr;
    fs::path folder;
    demo::CertificateFiles certificates;
    std::unique_ptr<demo::RequestLog> log;
    std::unique_ptr<demo::ServiceEndpoints> endpoints;
    std::unique_ptr<demo::DemoServer> server;
    uint16_t port = 0;
};

uint32_t Crc(const std::string& bytes)
{
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

} // namespace

TEST_F(DemoServicesHttps, DescriptionNamesTheSignedStorageWithItsPort)
{
    Start();
    const auto description = Describe();
    EXPECT_EQ(description["product_code"], "NRV32");
    EXPECT_EQ(description["download_subdir"], "Releases/Norvia_3_2_Home");
    EXPECT_EQ(description["host_name"], std::string(demo::kSignedStorageName) + ":" + std::to_string(port));
    EXPECT_FALSE(description["SAS"].get<std::string>().empty());
    EXPECT_TRUE(description["company_name"].is_string());
}

TEST_F(DemoServicesHttps, UnknownReleaseAndUnknownMethodAreNot200)
{
    Start();
    auto unknown = Request("POST", demo::kServiceName, demo::kServicePath, {{"Method", "RequestDownload"}},
                           "DownloadManagerVersion=9.5&ReleaseName=Norvia_9_9_Nothing");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404);
    auto method = Request("POST", demo::kServiceName, demo::kServicePath, {{"Method", "Frobnicate"}}, "x=1");
    ASSERT_TRUE(method);
    EXPECT_EQ(method->status, 400);
    auto get = Request("GET", demo::kServiceName, demo::kServicePath);
    ASSERT_TRUE(get);
    EXPECT_EQ(get->status, 404);
}

TEST_F(DemoServicesHttps, SignedStorageServesTheListAndFilesThatMatchIt)
{
    Start();
    const auto description = Describe();
    auto list = Request("GET", demo::kSignedStorageName, SignedTarget(description, "Norvia_3_2_Home.txt"));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->status, 200);
    const auto files = demo::ParseFileList(list->body);
    ASSERT_EQ(files.size(), 3u);
    for (const auto& file : files)
    {
        auto res = Request("GET", demo::kSignedStorageName, SignedTarget(description, file.name));
        ASSERT_TRUE(res) << file.name;
        ASSERT_EQ(res->status, 200) << file.name;
        EXPECT_EQ(res->body.size(), file.size) << file.name;
        EXPECT_EQ(Crc(res->body), file.crc) << file.name;
    }
    auto missing = Request("GET", demo::kSignedStorageName, SignedTarget(description, "Setup-9z.bin"));
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
}

TEST_F(DemoServicesHttps, SignedStorageRefusesWrongTokenExpiryOrCase)
{
    Start();
    auto description = Describe();
    const std::string good = SignedTarget(description, "Setup.exe");

    std::string wrongToken = good;
    wrongToken[1] = wrongToken[1] == 'A' ? 'B' : 'A';
    auto upperCase = good;
    upperCase.replace(upperCase.find("/releases/"), 10, "/Releases/");
    for (const std::string& target : {wrongToken, SignedTarget(description, "Setup.exe", -60),
                                      SignedTarget(description, "Setup.exe", 400LL * 24 * 3600), upperCase,
                                      std::string("/Releases/Norvia_3_2_Home/Setup.exe")})
    {
        auto res = Request("GET", demo::kSignedStorageName, target);
        ASSERT_TRUE(res) << target;
        EXPECT_EQ(res->status, 403) << target;
    }
    // The signature in the description is the signing secret: any other secret gives a wrong token.
    description["SAS"] = "?sig=guess";
    auto guessed = Request("GET", demo::kSignedStorageName, SignedTarget(description, "Setup.exe"));
    ASSERT_TRUE(guessed);
    EXPECT_EQ(guessed->status, 403);
}

TEST_F(DemoServicesHttps, QueryStorageNeedsTheSignatureFromTheDescription)
{
    Start();
    const auto description = Describe();
    const std::string path = "/" + description["download_subdir"].get<std::string>() + "/Setup.exe";
    auto granted = Request("GET", demo::kQueryStorageName, path + description["SAS"].get<std::string>());
    ASSERT_TRUE(granted);
    EXPECT_EQ(granted->status, 200);
    EXPECT_EQ(Crc(granted->body), endpoints->Release().Find("Setup.exe")->crc);
    for (const std::string& target : {path, path + "?sv=2021-08-06&sig=nope"})
    {
        auto refused = Request("GET", demo::kQueryStorageName, target);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->status, 403) << target;
    }
}

TEST_F(DemoServicesHttps, DamagedFileKeepsItsSizeButNotItsCrc)
{
    Start("Setup-1a.bin");
    const auto description = Describe();
    const auto* listed = endpoints->Release().Find("Setup-1a.bin");
    ASSERT_NE(listed, nullptr);
    auto res = Request("GET", demo::kSignedStorageName, SignedTarget(description, "Setup-1a.bin"));
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200);
    EXPECT_EQ(res->body.size(), listed->size);
    EXPECT_NE(Crc(res->body), listed->crc);
    std::ifstream in(listed->path, std::ios::binary);
    const std::string original{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    size_t differing = 0;
    for (size_t i = 0; i < original.size(); ++i)
    {
        differing += original[i] != res->body[i] ? 1 : 0;
    }
    EXPECT_EQ(differing, 1u);
    // The other files are untouched.
    auto setup = Request("GET", demo::kSignedStorageName, SignedTarget(description, "Setup.exe"));
    ASSERT_TRUE(setup);
    EXPECT_EQ(Crc(setup->body), endpoints->Release().Find("Setup.exe")->crc);
}

TEST_F(DemoServicesHttps, MetaJsonPointsAtDecodableArtworkOnTheContentHost)
{
    Start();
    auto meta = Request("GET", demo::kContentName, "/downloadmanager/3/meta.json");
    ASSERT_TRUE(meta);
    ASSERT_EQ(meta->status, 200);
    const auto json = nlohmann::json::parse(meta->body);
    ASSERT_TRUE(json["core"].contains("logo_background"));
    ASSERT_GE(json["media"].size(), 3u);
    const std::string prefix = "https://" + std::string(demo::kContentName) + ":" + std::to_string(port);
    for (const char* group : {"core", "media"})
    {
        for (const auto& [name, url] : json[group].items())
        {
            const std::string text = url.get<std::string>();
            ASSERT_EQ(text.rfind(prefix, 0), 0u) << text;
            auto image = Request("GET", demo::kContentName, text.substr(prefix.size()));
            ASSERT_TRUE(image) << text;
            ASSERT_EQ(image->status, 200) << text;
            int w = 0, h = 0, n = 0;
            stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(image->body.data()),
                                                    static_cast<int>(image->body.size()), &w, &h, &n, 4);
            ASSERT_NE(pixels, nullptr) << text;
            stbi_image_free(pixels);
            EXPECT_EQ(w, std::string(group) == "core" ? demo::kBandWidth : demo::kSlideWidth) << name;
        }
    }
    auto otherVersion = Request("GET", demo::kContentName, "/downloadmanager/4/meta.json");
    ASSERT_TRUE(otherVersion);
    EXPECT_EQ(otherVersion->status, 404);
}

TEST_F(DemoServicesHttps, LogUploadIsStoredAndEveryRequestIsLogged)
{
    Start();
    auto upload =
        Request("POST", demo::kServiceName, demo::kServicePath,
                {{"Method", "LogErrorInfo"}, {"ComputerId", "feedface"}}, std::string("\x1f\x8b junk", 7));
    ASSERT_TRUE(upload);
    EXPECT_EQ(upload->status, 200);
    std::ifstream stored(folder / "uploads" / "log-1.gz", std::ios::binary);
    const std::string body{std::istreambuf_iterator<char>(stored), std::istreambuf_iterator<char>()};
    EXPECT_EQ(body, std::string("\x1f\x8b junk", 7));

    auto stray = Request("GET", "elsewhere.localhost", "/");
    ASSERT_TRUE(stray);
    EXPECT_EQ(stray->status, 404);

    std::ifstream logFile(folder / "requests.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(logFile, line);)
    {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("service service.localhost:"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("-> 200"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("LogErrorInfo stored"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("unknown elsewhere.localhost:"), std::string::npos) << lines[1];
}

TEST(DemoServer, HostNamesMapToTheirServices)
{
    EXPECT_EQ(demo::DemoServer::ServiceOf("service.localhost:443"), "service");
    EXPECT_EQ(demo::DemoServer::ServiceOf("Content.Localhost"), "content");
    EXPECT_EQ(demo::DemoServer::ServiceOf("product-download-storage-v2.localhost:9"), "storage");
    EXPECT_EQ(demo::DemoServer::ServiceOf("storage.localhost:9"), "storage");
    EXPECT_EQ(demo::DemoServer::ServiceOf("support.localhost"), "support");
    EXPECT_EQ(demo::DemoServer::ServiceOf("localhost:9"), "");
    EXPECT_EQ(demo::DemoServer::ServiceOf(""), "");
}
