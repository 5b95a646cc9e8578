// Prepare: the logo texture and the artwork task it starts, against the local HTTPS server.

#include "ScreenHarness.h"

#include "Core/StringUtils.h"
#include "DownloadSystem/DownloadCore.h"
#include "support/HttpsTestServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace
{

using screentest::ScreenHarness;
using testsupport::Response;

TEST(Prepare, MakesTheLogoOnceAndStartsTheArtworkTask)
{
    testsupport::HttpsTestServer server;
    testsupport::HttpsTestServer::UseTestCa();
    const std::string metaPath =
        "/downloadmanager/" +
        nd::StringUtils::ToUtf8(DownloadSystem::GetDownloadCore()->GetReleaseVersionFolder()) + "/meta.json";
    server.Route("GET", metaPath, Response::Ok(R"({"core": {}, "media": {}})"));
    ASSERT_TRUE(server.Start());
    setenv("NORVIA_CONTENT_HOST", server.HostPort().c_str(), 1);

    ScreenHarness h;
    h.screens->Prepare(true);
    EXPECT_TRUE(h.screens->prepared);
    EXPECT_TRUE(h.screens->viewer);
    ASSERT_NE(h.screens->logo, nullptr);
    EXPECT_EQ(h.services->createdTextures, (std::vector<std::string>{"logo"}));
    h.screens->Prepare(false); // a second call changes nothing
    EXPECT_TRUE(h.screens->viewer);
    EXPECT_EQ(h.services->createdTextures.size(), 1u);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!h.screens->artworkReady.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(h.screens->artworkReady.load());
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].path, metaPath);
    // No artwork came, so the splash may end as soon as its time is up.
    EXPECT_TRUE(h.screens->PollArtwork());
    unsetenv("NORVIA_CONTENT_HOST");
}

} // namespace
