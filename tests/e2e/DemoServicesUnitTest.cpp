// The demo services' logic without a network: release files and their list, local names,
// options, the storage's access rules, upload decoding and the artwork.

#include "demo_services/Artwork.h"
#include "demo_services/DemoRelease.h"
#include "demo_services/LogUploads.h"
#include "demo_services/ServiceEndpoints.h"
#include "demo_services/ServiceOptions.h"
#include "demo_services/StorageAccess.h"

#include <gtest/gtest.h>
#include <stb_image.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace
{

fs::path Root()
{
    return fs::temp_directory_path() / ("norvia_demo_unit_" + std::to_string(::getpid()));
}

// Removes the folders of this run once every test has ended.
class RemoveRoot : public ::testing::Environment
{
  public:
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(Root(), ec);
    }
};
const auto* const kRemoveRoot = ::testing::AddGlobalTestEnvironment(new RemoveRoot);

fs::path FreshFolder(const std::string& name)
{
    const fs::path folder = Root() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Gzip(const std::string& data)
{
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, data.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

} // namespace

TEST(DemoRelease, FilesOnDiskMatchTheirListedSizeAndCrc)
{
    std::string error;
    const auto release =
        demo::DemoRelease::Generate(FreshFolder("release"), "Norvia_3_2_Home", 6, 70000, 5000, error);
    ASSERT_TRUE(release) << error;
    ASSERT_EQ(release->Files().size(), 7u);
    EXPECT_EQ(release->Files()[0].name, "Setup.exe");
    for (const auto& file : release->Files())
    {
        EXPECT_EQ(fs::file_size(file.path), file.size) << file.name;
        const std::string bytes = ReadAll(file.path);
        const auto crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
        EXPECT_EQ(crc, file.crc) << file.name;
    }
    EXPECT_EQ(release->Files()[0].size, 5000u);
    EXPECT_EQ(release->Files()[1].size, 70000u);
}

TEST(DemoRelease, SetupProgramReplacesTheGeneratedSetupInFolderAndList)
{
    std::string error;
    const fs::path folder = FreshFolder("program");
    const fs::path program = folder / "program.exe";
    std::ofstream(program, std::ios::binary) << "MZ stand-in setup";
    auto release = demo::DemoRelease::Generate(folder / "release", "Norvia_3_2_Home", 1, 4096, 9000, error);
    ASSERT_TRUE(release && release->UseSetupProgram(program, error)) << error;
    const demo::ReleaseFile& setup = release->Files()[0];
    EXPECT_EQ(ReadAll(setup.path), "MZ stand-in setup");
    const auto listed = demo::ParseFileList(ReadAll(folder / "release" / "Norvia_3_2_Home.txt"));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].size, 17u);
    EXPECT_EQ(listed[0].crc, demo::FileCrc32(program).value());
    EXPECT_FALSE(release->UseSetupProgram(folder / "missing.exe", error));
}

TEST(DemoRelease, ContentIsDeterministicPerReleaseAndDiffersBetweenFiles)
{
    std::string error;
    const auto a = demo::DemoRelease::Generate(FreshFolder("a"), "Norvia_3_2_Home", 2, 4096, 4096, error);
    const auto b = demo::DemoRelease::Generate(FreshFolder("b"), "Norvia_3_2_Home", 2, 4096, 4096, error);
    const auto c = demo::DemoRelease::Generate(FreshFolder("c"), "Norvia_4_0_Pro", 2, 4096, 4096, error);
    ASSERT_TRUE(a && b && c) << error;
    EXPECT_EQ(a->Files()[1].crc, b->Files()[1].crc);
    EXPECT_NE(a->Files()[1].crc, a->Files()[2].crc);
    EXPECT_NE(a->Files()[1].crc, c->Files()[1].crc);
}

TEST(DemoRelease, FileListUsesSignedDecimalCrcAndCrLfFields)
{
    std::string error;
    const auto release =
        demo::DemoRelease::Generate(FreshFolder("list"), "Norvia_3_2_Home", 8, 1000, 1000, error);
    ASSERT_TRUE(release) << error;
    const std::string text = release->FileListText();
    bool sawHighCrc = false;
    for (const auto& file : release->Files())
    {
        const std::string entry = ";" + file.name + "\r\n" + std::to_string(file.size) + "\r\n" +
                                  std::to_string(static_cast<int32_t>(file.crc)) + "\r\n";
        EXPECT_NE(text.find(entry), std::string::npos) << file.name;
        if (file.crc >= 0x80000000u)
        {
            sawHighCrc = true;
            EXPECT_NE(text.find(";" + file.name + "\r\n1000\r\n-"), std::string::npos);
        }
    }
    // Nine files of fixed content: at least one CRC has the top bit set, so the sign rule is exercised.
    EXPECT_TRUE(sawHighCrc);
    EXPECT_EQ(text.find(';'), text.find("\r\n") + 2) << "leading note, then the first entry";
    EXPECT_EQ(ReadAll(release->Files()[0].path.parent_path() / "Norvia_3_2_Home.txt"), text);
}

TEST(DemoRelease, ParsedListRoundTripsAndSkipsIncompleteEntries)
{
    const auto files =
        demo::ParseFileList("note;Setup.exe\r\n1048576\r\n-873187034\r\n;Setup-1a.bin\r\n2097152\r\n"
                            "305419896;broken\r\n12\r\n;");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].name, "Setup.exe");
    EXPECT_EQ(files[0].size, 1048576u);
    EXPECT_EQ(files[0].crc, 0xCBF43926u);
    EXPECT_EQ(files[1].crc, 0x12345678u);
    EXPECT_TRUE(demo::ParseFileList("abc").empty());
}

TEST(DemoRelease, DataFileNamesHaveSevenCharacterEndings)
{
    EXPECT_EQ(demo::DemoRelease::DataFileName(0), "Setup-1a.bin");
    EXPECT_EQ(demo::DemoRelease::DataFileName(25), "Setup-1z.bin");
    EXPECT_EQ(demo::DemoRelease::DataFileName(26), "Setup-2a.bin");
    EXPECT_EQ(demo::LocalFileName(demo::DemoRelease::DataFileName(30), "ABC"), "Setup_ABC-2e.bin");
}

TEST(LocalFileName, ProductCodeGoesBeforeTheProgramsExtension)
{
    EXPECT_EQ(demo::LocalFileName("Setup.exe", "ABC"), "Setup_ABC.exe");
    EXPECT_EQ(demo::LocalFileName("Setup-1a.bin", "ABC"), "Setup_ABC-1a.bin");
    EXPECT_EQ(demo::LocalFileName("a.exe.txt", "X"), "a.exe_X.txt");
    EXPECT_EQ(demo::LocalFileName("ab.bin", "X"), "ab.bin");
}

TEST(ServiceOptions, SizesAndNamesAreChecked)
{
    std::string error;
    auto options =
        demo::ParseServiceOptions({"--file-size", "512K", "--setup-size", "2M", "--files", "3", "--rate",
                                   "1M", "--unsigned", "--damage", "Setup-1a.bin", "--dir", "/tmp/x"},
                                  error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->fileSize, 512u * 1024);
    EXPECT_EQ(options->setupSize, 2u << 20);
    EXPECT_EQ(options->dataFiles, 3u);
    EXPECT_EQ(options->rateBytesPerSecond, 1u << 20);
    EXPECT_FALSE(options->signedStorage);
    EXPECT_EQ(options->requestLog, "/tmp/x/requests.log");
    EXPECT_EQ(options->uploadsDir, "/tmp/x/uploads");

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--release", "../etc"},
                                                {"--release", "a/b"},
                                                {"--files", "-1"},
                                                {"--file-size", "2048M"},
                                                {"--port", "70000"},
                                                {"--setup-size", "0"},
                                                {"--frobnicate", "1"},
                                                {"--dir"}})
    {
        EXPECT_FALSE(demo::ParseServiceOptions(bad, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(ServiceEndpoints, VersionFolderIsTheSecondPieceOfThreeOrMore)
{
    EXPECT_EQ(demo::VersionFolder("Norvia_3_2_Home"), "3");
    EXPECT_EQ(demo::VersionFolder("Norvia_3"), "");
    EXPECT_EQ(demo::VersionFolder("__Norvia__4__Pro"), "4");
}

TEST(ServiceEndpoints, FormValuesAreUrlDecoded)
{
    const std::string body = "DownloadManagerVersion=9.5&ReleaseName=Norvia%5F3_2+Home%zz";
    EXPECT_EQ(demo::FormValue(body, "ReleaseName"), "Norvia_3_2 Home%zz");
    EXPECT_EQ(demo::FormValue(body, "DownloadManagerVersion"), "9.5");
    EXPECT_EQ(demo::FormValue(body, "Missing"), "");
}

TEST(SignedPath, TokenIsUrlSafeBase64OfMd5WithPaddingKept)
{
    // Computed independently: printf '1700000000/Rel/AS' | openssl md5 -binary | base64 gives
    // JV+A2dcruCEFHXGOcE4S/A== before the "+" and "/" replacements.
    EXPECT_EQ(demo::SignedPathToken("1700000000", "Rel/A", "S"), "JV-A2dcruCEFHXGOcE4S_A==");
}

TEST(SignedPath, CorrectPathIsGrantedWithItsFileName)
{
    const int64_t now = 1700000000;
    const std::string expiry = std::to_string(now + 259200);
    const std::string token = demo::SignedPathToken(expiry, "Releases/Rel_A", "?sig=s");
    const auto check = demo::CheckSignedPath("/" + token + "," + expiry + "/releases/rel_a/Setup-1a.bin",
                                             "Releases/Rel_A", "?sig=s", now);
    EXPECT_TRUE(check.granted);
    EXPECT_TRUE(check.refusals.empty());
    EXPECT_EQ(check.fileName, "Setup-1a.bin");
}

TEST(SignedPath, TokenExpiryAndFolderAreRefusedIndependently)
{
    const int64_t now = 1700000000;
    const std::string folder = "Releases/Rel_A";
    auto target = [&](int64_t expiresAt, const std::string& path, bool goodToken)
    {
        const std::string expiry = std::to_string(expiresAt);
        const std::string token =
            goodToken ? demo::SignedPathToken(expiry, folder, "S") : "AAAAAAAAAAAAAAAAAAAAAA==";
        return "/" + token + "," + expiry + "/" + path;
    };
    struct Case
    {
        std::string target;
        std::string reason;
    };
    const Case cases[] = {
        {target(now + 100, "releases/rel_a/f.bin", false), "wrong token"},
        {target(now - 1, "releases/rel_a/f.bin", true), "expired"},
        {target(now + demo::kMaxExpirySeconds + 1, "releases/rel_a/f.bin", true), "expiry too far ahead"},
        {target(now + 100, "Releases/Rel_A/f.bin", true), "wrong folder (the signed folder is lower-cased)"},
        {target(now + 100, "releases/rel_a/", true), "no file in the folder"},
        {"/releases/rel_a/f.bin", "not a signed path"},
    };
    for (const Case& c : cases)
    {
        const auto check = demo::CheckSignedPath(c.target, folder, "S", now);
        EXPECT_FALSE(check.granted) << c.target;
        ASSERT_EQ(check.refusals.size(), 1u) << c.target;
        EXPECT_EQ(check.refusals[0], c.reason);
    }
    // The token covers the signature too: another signature, same path, is refused.
    const std::string expiry = std::to_string(now + 100);
    EXPECT_FALSE(demo::CheckSignedPath("/" + demo::SignedPathToken(expiry, folder, "other") + "," + expiry +
                                           "/releases/rel_a/f.bin",
                                       folder, "S", now)
                     .granted);
}

TEST(QuerySignature, SignatureAndExactFolderAreRequired)
{
    const std::string signature = demo::MakeSignature("c0ffee");
    ASSERT_EQ(signature.rfind("?", 0), 0u);
    const std::string query = signature.substr(1);
    EXPECT_TRUE(demo::CheckQuerySignature("/Releases/R/Setup.exe", query, "Releases/R", signature).granted);
    EXPECT_EQ(demo::CheckQuerySignature("/Releases/R/Setup.exe", query, "Releases/R", signature).fileName,
              "Setup.exe");

    const auto wrong =
        demo::CheckQuerySignature("/Releases/R/Setup.exe", "sv=1&sig=bad", "Releases/R", signature);
    EXPECT_EQ(wrong.refusals, std::vector<std::string>{"wrong signature"});
    const auto missing = demo::CheckQuerySignature("/Releases/R/Setup.exe", "", "Releases/R", signature);
    EXPECT_EQ(missing.refusals, std::vector<std::string>{"no signature"});
    const auto lowered = demo::CheckQuerySignature("/releases/r/Setup.exe", query, "Releases/R", signature);
    EXPECT_EQ(lowered.refusals, std::vector<std::string>{"wrong folder"});
    // A sig that merely starts like the right one is not the right one.
    EXPECT_FALSE(
        demo::CheckQuerySignature("/Releases/R/Setup.exe", "sig=c0ffeeX", "Releases/R", signature).granted);
}

TEST(LogUploads, GzipOfUtf16JsonIsKeptAndDecoded)
{
    const fs::path folder = FreshFolder("uploads");
    demo::LogUploads uploads(folder);
    const std::u16string json = u"[{\"error_number\":0,\"message\":\"caf\u00e9 \U0001F600\"},"
                                u"{\"error_number\":-3,\"message\":\"CRC\\r\\nwrong\"},{\"message\":\"b\"}]";
    const std::string body = Gzip(std::string(reinterpret_cast<const char*>(json.data()), json.size() * 2));
    const auto stored = uploads.Store(body, "0123abcd");
    ASSERT_TRUE(stored);
    EXPECT_EQ(ReadAll(stored->gzipFile), body);
    EXPECT_EQ(stored->records, 3);
    EXPECT_EQ(stored->errorRecords, 1);
    EXPECT_EQ(stored->lastError, "CRC  wrong");
    const std::string decoded = ReadAll(stored->jsonFile);
    EXPECT_NE(decoded.find("caf\xC3\xA9 \xF0\x9F\x98\x80"), std::string::npos);
    EXPECT_NE(decoded.find("0123abcd"), std::string::npos);

    // A second store never replaces the first, also from a fresh object over the same folder.
    demo::LogUploads again(folder);
    const auto second = again.Store("not gzip", "");
    ASSERT_TRUE(second);
    EXPECT_NE(second->gzipFile, stored->gzipFile);
    EXPECT_EQ(second->records, -1);
    EXPECT_TRUE(second->jsonFile.empty());
    EXPECT_EQ(ReadAll(stored->gzipFile), body);
}

TEST(LogUploads, GunzipRefusesTruncatedAndOversizedStreams)
{
    const std::string text(100000, 'x');
    const std::string packed = Gzip(text);
    EXPECT_EQ(demo::Gunzip(packed, text.size()), text);
    EXPECT_FALSE(demo::Gunzip(packed.substr(0, packed.size() / 2), text.size()));
    EXPECT_FALSE(demo::Gunzip(packed, text.size() - 1));
}

TEST(LogUploads, Utf16WithBrokenSurrogatesStillConverts)
{
    const std::string units("\x41\x00\x00\xD8\x42\x00\x3D\xD8\x00\xDE\x43",
                            11); // A, lone high, B, pair, odd byte
    EXPECT_EQ(demo::Utf16LeToUtf8(units), "A\xEF\xBF\xBD"
                                          "B\xF0\x9F\x98\x80");
}

TEST(Artwork, PicturesDecodeAtTheSizesTheScreensExpect)
{
    const demo::Artwork artwork = demo::PaintArtwork();
    ASSERT_EQ(artwork.core.size(), 1u);
    ASSERT_TRUE(artwork.core.count("logo_background"));
    ASSERT_GE(artwork.media.size(), 3u);
    auto check = [](const std::string& png, int width, int height)
    {
        int w = 0, h = 0, channels = 0;
        unsigned char* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()),
                                                      static_cast<int>(png.size()), &w, &h, &channels, 3);
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(w, width);
        EXPECT_EQ(h, height);
        // Not a flat fill: the picture has a real spread of brightness.
        int lowest = 255, highest = 0;
        for (int i = 0; i < w * h * 3; i += 3)
        {
            const int luma = (pixels[i] * 3 + pixels[i + 1] * 6 + pixels[i + 2]) / 10;
            lowest = std::min(lowest, luma);
            highest = std::max(highest, luma);
        }
        EXPECT_GT(highest - lowest, 80);
        stbi_image_free(pixels);
    };
    check(artwork.core.at("logo_background"), demo::kBandWidth, demo::kBandHeight);
    for (const auto& [name, png] : artwork.media)
    {
        SCOPED_TRACE(name);
        check(png, demo::kSlideWidth, demo::kSlideHeight);
    }
}
