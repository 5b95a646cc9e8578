// The artwork task against the local HTTPS server playing the content server.

#include "UI/DownloadManagerInterface.h"

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/DownloadCore.h"
#include "Platform/HttpRequest.h"
#include "support/HttpsTestServer.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace nd
{
namespace
{

using testsupport::Response;

std::string Bytes(const ByteBuffer& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.Data()), static_cast<size_t>(buffer.Size()));
}

bool RecordContains(const std::string& text)
{
    for (const auto& record : GetLogRecords())
    {
        if (record["message"].get<std::string>().find(text) != std::string::npos)
            return true;
    }
    return false;
}

class ArtworkTask : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ClearErrors();
        testsupport::HttpsTestServer::UseTestCa();
        ASSERT_TRUE(server.Start());
        setenv("NORVIA_CONTENT_HOST", server.HostPort().c_str(), 1);
        Platform::HttpTimeouts timeouts;
        timeouts.connectMs = 2000;
        timeouts.receiveMs = 5000;
        Platform::SetHttpTimeoutsForTesting(timeouts);
        // The test program's own name decides the version folder, as the real program's does.
        metaPath = "/downloadmanager/" +
                   StringUtils::ToUtf8(DownloadSystem::GetDownloadCore()->GetReleaseVersionFolder()) +
                   "/meta.json";
    }

    std::string ImageUrl(const std::string& path) const { return "https://127.0.0.1" + path; }

    testsupport::HttpsTestServer server;
    std::string metaPath;
    DownloadManagerInterface screens;
};

TEST_F(ArtworkTask, ImagesOfBothKindsArriveUnderTheirNames)
{
    const nlohmann::json meta{
        {"core",
         {{"logo_background", ImageUrl("/img/band.png?v=3")}, {"accent", ImageUrl("/img/accent.png")}}},
        {"media", {{"slide2", ImageUrl("/img/s2.png")}, {"slide1", "https://127.0.0.1:1/img/s1.png"}}},
        {"other", 5}};
    server.Route("GET", metaPath, Response::Ok(meta.dump()));
    server.Route("GET", "/img/band.png", Response::Ok("band-bytes"));
    server.Route("GET", "/img/accent.png", Response::Ok("accent-bytes"));
    server.Route("GET", "/img/s1.png", Response::Ok("s1"));
    server.Route("GET", "/img/s2.png", Response::Ok("s2"));

    screens.Init();

    EXPECT_TRUE(screens.artworkReady.load());
    ASSERT_EQ(screens.pendingCoreImages.size(), 2u);
    EXPECT_EQ(Bytes(screens.pendingCoreImages.at("logo_background")), "band-bytes");
    EXPECT_EQ(Bytes(screens.pendingCoreImages.at("accent")), "accent-bytes");
    ASSERT_EQ(screens.pendingMediaImages.size(), 2u);
    // The port of an image URL does not count: the content host serves it.
    EXPECT_EQ(Bytes(screens.pendingMediaImages.at("slide1")), "s1");
    EXPECT_EQ(Bytes(screens.pendingMediaImages.at("slide2")), "s2");
    EXPECT_EQ(GetErrorCount(), 0u);

    // Images are fetched in name order, without the query of their URL.
    std::vector<std::string> targets;
    for (const auto& request : server.Requests())
        targets.push_back(request.target);
    const std::vector<std::string> expected{metaPath, "/img/accent.png", "/img/band.png", "/img/s1.png",
                                            "/img/s2.png"};
    EXPECT_EQ(targets, expected);
}

TEST_F(ArtworkTask, ImageThatCannotBeFetchedLeavesAnEmptyBuffer)
{
    const nlohmann::json meta{{"core", {{"band", ImageUrl("/img/missing.png")}}},
                              {"media", {{"s", ImageUrl("/img/s.png")}}}};
    server.Route("GET", metaPath, Response::Ok(meta.dump()));
    server.Route("GET", "/img/s.png", Response::Ok("s"));
    screens.Init();
    ASSERT_EQ(screens.pendingCoreImages.count("band"), 1u);
    EXPECT_EQ(screens.pendingCoreImages.at("band").Size(), 0u);
    EXPECT_EQ(Bytes(screens.pendingMediaImages.at("s")), "s");
    EXPECT_TRUE(screens.artworkReady.load());
}

TEST_F(ArtworkTask, EmptyDescriptionIsReported)
{
    server.Route("GET", metaPath, Response::Ok(""));
    screens.Init();
    EXPECT_TRUE(RecordContains("DownloadManagerInterface::Init() -> json from server failed!"));
    EXPECT_EQ(GetErrorCount(), 1u);
    EXPECT_TRUE(screens.pendingCoreImages.empty());
    EXPECT_TRUE(screens.artworkReady.load());
}

TEST_F(ArtworkTask, DescriptionThatIsNoJsonIsReportedWithTheParserError)
{
    server.Route("GET", metaPath, Response::Ok("{\"core\": {"));
    screens.Init();
    EXPECT_TRUE(RecordContains("DownloadManagerInterface::Init() -> json failed to read: "));
    EXPECT_TRUE(screens.pendingCoreImages.empty());
    EXPECT_TRUE(screens.pendingMediaImages.empty());
    EXPECT_TRUE(screens.artworkReady.load());
}

TEST_F(ArtworkTask, MissingDescriptionStillEndsTheTask)
{
    // Every attempt answers 404; the worker ends with no data.
    screens.Init();
    EXPECT_TRUE(RecordContains("DownloadManagerInterface::Init() -> json from server failed!"));
    EXPECT_TRUE(screens.artworkReady.load());
}

TEST_F(ArtworkTask, MissingKindsAreReportedAndTheOtherKindIsStillFetched)
{
    const nlohmann::json meta{{"core", nlohmann::json::object()}, {"media", {{"s", ImageUrl("/img/s.png")}}}};
    server.Route("GET", metaPath, Response::Ok(meta.dump()));
    server.Route("GET", "/img/s.png", Response::Ok("s"));
    screens.Init();
    EXPECT_TRUE(RecordContains("DownloadManagerInterface::Init() -> no core texture found!"));
    EXPECT_FALSE(RecordContains("no media texture found!"));
    EXPECT_EQ(Bytes(screens.pendingMediaImages.at("s")), "s");
}

TEST_F(ArtworkTask, UnreachableContentServerEndsTheTask)
{
    setenv("NORVIA_CONTENT_HOST", "127.0.0.1:1", 1);
    screens.Init();
    EXPECT_TRUE(screens.artworkReady.load());
    EXPECT_TRUE(screens.pendingCoreImages.empty());
}

} // namespace
} // namespace nd
