// The seeded chaos soak: the engine as the program runs it, with half of all storage connections
// harmed by a proxy (refused, reset or cut, stalled, a flipped byte, a late first byte, a slow
// drip, an idle connection closed). Every seed must end with exactly the release's files and its
// setup started. NORVIA_SOAK_SEEDS ("7,19") replaces the default seeds; scripts/soak.sh runs more.

#include "FaultWorld.h"

#include "DownloadSystem/FileDownload.h"
#include "DownloadSystem/TrickleGuard.h"
#include "support/ChaosProxy.h"

#include <cstdlib>
#include <iostream>
#include <sstream>

namespace reliability
{
namespace
{

std::vector<uint64_t> SoakSeeds()
{
    std::vector<uint64_t> seeds;
    if (const char* listed = std::getenv("NORVIA_SOAK_SEEDS"))
    {
        std::stringstream text(listed);
        std::string seed;
        while (std::getline(text, seed, ','))
            if (!seed.empty())
                seeds.push_back(std::stoull(seed));
    }
    if (seeds.empty())
        seeds = {1, 2, 3, 4, 5};
    return seeds;
}

class ChaosSoak : public ::testing::TestWithParam<uint64_t>
{
protected:
    void SetUp() override { ASSERT_TRUE(world.Open()); }

    FaultWorld world;
};

TEST_P(ChaosSoak, EndsWithTheReleaseAndItsSetup)
{
    world.ServeRelease();
    testsupport::ChaosOptions options;
    options.seed = GetParam();
    testsupport::ChaosProxy proxy(world.server.Port(), options);
    ASSERT_TRUE(proxy.Start());
    nlohmann::json description = world.Description();
    description["host_name"] = proxy.HostPort();
    world.ServeDescription(description);
    // A drip below 1 KiB in 3 s counts as a trickle here (30 s in the program).
    DownloadSystem::FileDownload::SetTrickleWindowForTesting(3s);

    const RunResult result = world.RunProgram(120s);
    DownloadSystem::FileDownload::SetTrickleWindowForTesting(DownloadSystem::TrickleGuard::kWindow);
    proxy.Stop();

    std::string draws;
    for (const auto& [harm, count] : proxy.Draws())
        draws += std::string(testsupport::HarmName(harm)) + " " + std::to_string(count) + ", ";
    std::cout << "seed " << GetParam() << " draws: " << draws << "\n";
    SCOPED_TRACE("seed " + std::to_string(GetParam()) + ": " + draws);
    ExpectEnd(world, Scenario("soak", End::SetupLaunched, nullptr).Within(120s), result);
}

INSTANTIATE_TEST_SUITE_P(Seeds, ChaosSoak, ::testing::ValuesIn(SoakSeeds()),
                         [](const ::testing::TestParamInfo<uint64_t>& info)
                         { return "Seed" + std::to_string(info.param); });

} // namespace
} // namespace reliability
