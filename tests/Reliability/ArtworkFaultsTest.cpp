// Faults of the content server as the artwork task meets them: a meta.json that is malformed or
// shaped wrongly, images that are not images, a certificate that must not be trusted. Whatever
// comes, the task ends (the splash waits for it), records what went wrong and leaves only
// buffers that the screens then refuse to turn into textures.

#include "FaultWorld.h"

#include "UI/ArtworkImage.h"
#include "UI/DownloadManagerInterface.h"

#include <thread>

namespace reliability
{
namespace
{

using nd::ByteBuffer;

// The 8-byte PNG signature and an IHDR chunk claiming width x height, then nothing valid.
std::string PngHeader(uint32_t width, uint32_t height)
{
    std::string png("\x89PNG\r\n\x1a\n", 8);
    png += std::string("\0\0\0\x0dIHDR", 8);
    for (uint32_t value : {width, height})
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            png.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
    png += std::string("\x08\x06\0\0\0", 5);
    png += "\0\0\0\0"; // a CRC that does not match
    png += Pattern(256, 5);
    return png;
}

class ArtworkFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(world.Open());
        metaPath = "/downloadmanager/" +
                   nd::StringUtils::ToUtf8(DownloadSystem::GetDownloadCore()->GetReleaseVersionFolder()) +
                   "/meta.json";
    }

    std::string ImageUrl(const std::string& path) const { return "https://127.0.0.1" + path; }

    void ServeMeta(const std::string& text) { world.server.Route("GET", metaPath, Response::Ok(text)); }

    // Runs the task as Prepare would, on a thread of its own, and waits (bounded) for its end.
    bool RunTask(std::chrono::seconds bound = 30s)
    {
        world.TakeSnapshot();
        std::thread task([this] { screens.Init(); });
        const bool ended = enginetest::WaitUntil([this] { return screens.artworkReady.load(); }, bound);
        task.join();
        EXPECT_EQ(world.ChangesOutside(), std::vector<std::string>{});
        EXPECT_TRUE(TreeSnapshot(world.program).empty()) << "the task writes no file";
        return ended;
    }

    static bool Decodes(const ByteBuffer& bytes)
    {
        return nd::ArtworkImage::Decode(bytes.Data(), static_cast<size_t>(bytes.Size())).Valid();
    }

    FaultWorld world;
    std::string metaPath;
    nd::DownloadManagerInterface screens;
};

TEST_F(ArtworkFaults, MalformedMetaJsonIsRecordedAndLeavesNoImages)
{
    ServeMeta("{\"core\": {\"logo\": \"https://127.0.0.1/a.png\"");
    ASSERT_TRUE(RunTask());
    EXPECT_TRUE(enginetest::AnyRecordContains("DownloadManagerInterface::Init() -> json failed to read: "));
    EXPECT_TRUE(screens.pendingCoreImages.empty());
    EXPECT_TRUE(screens.pendingMediaImages.empty());
}

TEST_F(ArtworkFaults, EmptyMetaJsonIsRecorded)
{
    ServeMeta("");
    ASSERT_TRUE(RunTask());
    EXPECT_TRUE(
        enginetest::AnyRecordContains("DownloadManagerInterface::Init() -> json from server failed!"));
    EXPECT_TRUE(screens.pendingCoreImages.empty());
}

TEST_F(ArtworkFaults, MetaJsonThatIsNoObjectNamesNoImages)
{
    ServeMeta("[1, 2, {\"core\": {}}]");
    ASSERT_TRUE(RunTask());
    EXPECT_TRUE(enginetest::AnyRecordContains("no core texture found!"));
    EXPECT_TRUE(enginetest::AnyRecordContains("no media texture found!"));
    EXPECT_TRUE(screens.pendingCoreImages.empty());
    EXPECT_TRUE(screens.pendingMediaImages.empty());
}

TEST_F(ArtworkFaults, MembersOfOtherTypesGiveEmptyBuffersThatNeverDecode)
{
    ServeMeta(R"({"core": "logo.png", "media": {"s1": 5, "s2": null, "s3": ["x"]}})");
    ASSERT_TRUE(RunTask());
    EXPECT_TRUE(enginetest::AnyRecordContains("no core texture found!"));
    ASSERT_EQ(screens.pendingMediaImages.size(), 3u);
    for (const auto& [name, bytes] : screens.pendingMediaImages)
    {
        EXPECT_EQ(bytes.Size(), 0u) << name;
        EXPECT_FALSE(Decodes(bytes)) << name;
    }
}

TEST_F(ArtworkFaults, ImagesThatAreNotImagesArriveButNeverDecode)
{
    const nlohmann::json meta{{"core", {{"logo_background", ImageUrl("/img/page.png")}}},
                              {"media",
                               {{"s1", ImageUrl("/img/broken.png")},
                                {"s2", ImageUrl("/img/huge.png")},
                                {"s3", ImageUrl("/img/noise.jpg")}}}};
    ServeMeta(meta.dump());
    world.server.Route("GET", "/img/page.png", Response::Ok("<html>404 - not here</html>"));
    world.server.Route("GET", "/img/broken.png", Response::Ok(PngHeader(64, 64)));
    world.server.Route("GET", "/img/huge.png", Response::Ok(PngHeader(100000, 100000)));
    world.server.Route("GET", "/img/noise.jpg", Response::Ok("\xFF\xD8\xFF\xE0" + Pattern(4096, 9)));
    ASSERT_TRUE(RunTask());

    ASSERT_EQ(screens.pendingCoreImages.size(), 1u);
    ASSERT_EQ(screens.pendingMediaImages.size(), 3u);
    EXPECT_GT(screens.pendingCoreImages.begin()->second.Size(), 0u);
    EXPECT_FALSE(Decodes(screens.pendingCoreImages.begin()->second));
    for (const auto& [name, bytes] : screens.pendingMediaImages)
    {
        EXPECT_GT(bytes.Size(), 0u) << name;
        EXPECT_FALSE(Decodes(bytes)) << name;
    }
}

TEST_F(ArtworkFaults, ImageAnswering404KeepsItsNameWithAnEmptyBuffer)
{
    ServeMeta(nlohmann::json{{"core", {{"logo", ImageUrl("/img/gone.png")}}}, {"media", {}}}.dump());
    ASSERT_TRUE(RunTask());
    ASSERT_EQ(screens.pendingCoreImages.count("logo"), 1u);
    EXPECT_EQ(screens.pendingCoreImages.at("logo").Size(), 0u);
    EXPECT_TRUE(enginetest::AnyRecordContains("Response status not 200, but 404"));
}

TEST_F(ArtworkFaults, UntrustedContentServerGivesNoDescription)
{
    testsupport::ServerOptions options;
    options.certificate = testsupport::Certificate::WrongName;
    HttpsTestServer& content = world.AddServer(options);
    content.Route("GET", metaPath, Response::Ok(R"({"core": {}, "media": {}})"));
    ::setenv("NORVIA_CONTENT_HOST", content.HostPort().c_str(), 1);
    ASSERT_TRUE(RunTask());
    EXPECT_TRUE(
        AnyRecordWith("Connection::HttpSendRequest failed for: ", Platform::HttpError::kCertNameInvalid));
    EXPECT_TRUE(content.Requests().empty());
    EXPECT_TRUE(screens.pendingCoreImages.empty());
}

} // namespace
} // namespace reliability
