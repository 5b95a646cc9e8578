// The fault matrix's scenarios where the platform decides the end, run by the Windows engine under
// wine: broken and stalled transfers, error statuses, redirects, certificates, a service that
// never answers, and names that become request targets and Win32 paths. Each ends as on Linux
// unless WinINet itself behaves differently (docs/windows.md lists where).

#include "WineWorld.h"

#include "support/TestConnection.h"

#include <atomic>
#include <functional>
#include <memory>

namespace wintest
{
namespace
{

using testsupport::Certificate;

constexpr const char* kDataPath = "/rel/Files/Setup-1a.bin";
constexpr int kRevocationCheckFailed = 12057;

using reliability::End;
using Scenario = reliability::BasicScenario<WineWorld>;
using Check = Scenario::Step;

std::string ScenarioName(const ::testing::TestParamInfo<Scenario>& info)
{
    return info.param.name;
}

const std::string& DataFile(WineWorld& world)
{
    return world.files[1].content;
}

void ServeData(WineWorld& world, std::vector<Response> answers)
{
    world.server.Route("GET", kDataPath, std::move(answers));
}

HttpsTestServer& AddServerNamed(WineWorld& world, const std::string& name, bool secure = true)
{
    testsupport::ServerOptions options = LocalServer();
    options.hostName = name;
    options.secure = secure;
    return world.AddServer(options);
}

// The description names a storage of its own, with the release's list served there.
void MoveStorageTo(WineWorld& world, Certificate certificate)
{
    HttpsTestServer& storage = world.AddServer(LocalServer(certificate));
    nlohmann::json description = world.Description();
    description["host_name"] = storage.HostPort();
    world.ServeDescription(description);
    storage.Route("GET", kListPath, Response::Ok(enginetest::FileListText(world.files)));
}

void MoveServiceTo(WineWorld& world, Certificate certificate)
{
    HttpsTestServer& service = world.AddServer(LocalServer(certificate));
    service.Route("POST", kServicePath, Response::Ok(world.Description().dump()));
    ::setenv("NORVIA_SERVICE_HOST", service.HostPort().c_str(), 1);
}

Check NoRequestAt(size_t server)
{
    return [server](WineWorld& w)
    { EXPECT_EQ(w.extraServers.at(server)->Requests().size(), 0u) << "no request over a refused channel"; };
}

Check RecordWith(const std::string& text, int errorNumber, int orNumber = 0)
{
    return [=](WineWorld& w)
    {
        EXPECT_TRUE(AnyRecordWith(w.lastRun, text, errorNumber) ||
                    (orNumber != 0 && AnyRecordWith(w.lastRun, text, orNumber)))
            << text << " with " << errorNumber;
    };
}

// Several checks in one.
Check All(std::vector<Check> checks)
{
    return [checks](WineWorld& w)
    {
        for (const auto& check : checks)
            check(w);
    };
}

const Check kAttemptsEnd = [](WineWorld& w)
{
    EXPECT_TRUE(AnyRecordWith(w.lastRun, kAttemptsMessage, nd::kErrorMaxAttemptsExceeded));
    EXPECT_TRUE(w.SupportArticleOpened());
};

// The list route that runs action before the given read of the list (a pass reads it twice and
// its verification twice more).
void BeforeListRead(WineWorld& world, int readNumber, std::function<void(WineWorld&)> action)
{
    auto reads = std::make_shared<std::atomic<int>>(0);
    const std::string text = enginetest::FileListText(world.files);
    world.server.Route("GET", kListPath,
                       [=, &world](const testsupport::RecordedRequest&)
                       {
                           if (reads->fetch_add(1) + 1 == readNumber)
                               action(world);
                           return Response::Ok(text);
                       });
}

const std::vector<Scenario> kScenarios{
    // [SECTION] Transfers
    Scenario("ConnectionResetInTheMiddleOfAFile", End::SetupLaunched,
             [](WineWorld& w) {
                 ServeData(w, {Response::ResetAfter(DataFile(w), 40000), Response::Ok(DataFile(w))});
             })
        .Records({"InternetReadFile Failed for: "})
        .Then([](WineWorld& w) { EXPECT_EQ(w.RequestsFor(kDataPath), 2u); }),
    Scenario("BodyCutShortUnderItsFullContentLength", End::SetupLaunched,
             [](WineWorld& w) {
                 ServeData(w, {Response::CutShort(DataFile(w), 30000), Response::Ok(DataFile(w))});
             })
        .Records({"incorrect CRC", "InternetReadFile Failed for: "}),
    Scenario("ServerStallsInTheMiddleOfABody", End::SetupLaunched,
             [](WineWorld& w) {
                 ServeData(w, {Response::Stall(DataFile(w), 30000, 60s), Response::Ok(DataFile(w))});
             })
        .Then(RecordWith("InternetReadFile Failed for: ", Platform::HttpError::kTimeout)),
    // The stored bytes are the encoded ones; they never pass for the file.
    Scenario("FileSentGzipEncodedUnasked", End::ErrorNoSetup,
             [](WineWorld& w) { ServeData(w, {Response::Gzip(DataFile(w))}); })
        .Records({"incorrect CRC"})
        .Then(kAttemptsEnd),

    // [SECTION] Redirects, followed by the layer itself
    Scenario("RedirectToAnotherHost", End::SetupLaunched,
             [](WineWorld& w)
             {
                 HttpsTestServer& mirror = AddServerNamed(w, "storage.localhost");
                 mirror.Route("GET", "/mirror/Setup-1a.bin", Response::Ok(DataFile(w)));
                 ServeData(w, {Response::Redirect(mirror.Url("/mirror/Setup-1a.bin"))});
             })
        .Then([](WineWorld& w) { EXPECT_EQ(w.extraServers[0]->Requests().size(), 1u); }),
    Scenario("RedirectFromHttpsToPlainHttpIsRefused", End::ErrorNoSetup,
             [](WineWorld& w)
             {
                 HttpsTestServer& plain = AddServerNamed(w, "localhost", false);
                 plain.Route("GET", "/plain/Setup-1a.bin", Response::Ok(DataFile(w)));
                 ServeData(w, {Response::Redirect(plain.Url("/plain/Setup-1a.bin"))});
             })
        .Then(All({kAttemptsEnd, NoRequestAt(0),
                   RecordWith("Connection::HttpSendRequest failed for: ",
                              Platform::HttpError::kHttpsToHttpRedirect)})),
    Scenario("RedirectLoop", End::ErrorNoSetup,
             [](WineWorld& w) { ServeData(w, {Response::Redirect(w.server.Url(kDataPath))}); })
        .Then(
            All({kAttemptsEnd, RecordWith("HttpSendRequest failed", Platform::HttpError::kRedirectFailed)})),

    // [SECTION] Certificates and the service
    Scenario("StorageCertificateExpired", End::ErrorNoSetup,
             [](WineWorld& w) { MoveStorageTo(w, Certificate::Expired); })
        .Then(All({kAttemptsEnd, NoRequestAt(0),
                   RecordWith("HttpSendRequest failed", Platform::HttpError::kCertDateInvalid)})),
    // WinINet under wine reports an unknown issuer as a failed revocation check (12057).
    Scenario("ServiceCertificateFromAnUntrustedIssuer", End::RefusedAtRequest,
             [](WineWorld& w) { MoveServiceTo(w, Certificate::UntrustedIssuer); })
        .Then(All({NoRequestAt(0), RecordWith("Error on HttpSendRequest", Platform::HttpError::kInvalidCa,
                                              kRevocationCheckFailed)})),
    Scenario("ServiceCertificateForAnotherHost", End::RefusedAtRequest,
             [](WineWorld& w) { MoveServiceTo(w, Certificate::WrongName); })
        .Then(All(
            {NoRequestAt(0), RecordWith("Error on HttpSendRequest", Platform::HttpError::kCertNameInvalid)})),
    Scenario("AnswerCompressedWithGzip", End::SetupLaunched,
             [](WineWorld& w)
             { w.server.Route("POST", kServicePath, Response::Gzip(w.Description().dump())); })
        .Then(
            [](WineWorld& w)
            {
                const auto requests = w.server.Requests();
                ASSERT_FALSE(requests.empty());
                EXPECT_NE(requests[0].Header("Accept-Encoding").find("gzip"), std::string::npos);
            }),
    // Three attempts, each ended by the receive time-out while waiting for the status line.
    Scenario("ServiceNeverAnswers", End::RefusedAtRequest,
             [](WineWorld& w) { w.server.Route("POST", kServicePath, testsupport::Handler(Silence)); })
        .Then(All({RecordWith("Error on HttpSendRequest", Platform::HttpError::kTimeout),
                   [](WineWorld& w) { EXPECT_EQ(w.RequestsFor(kServicePath), 3u); }})),

    // [SECTION] The disk under the program's folder
    // Room for the setup but not for the data file: the first failed write ends its attempt.
    Scenario("DiskFillsUpDuringADownload", End::ErrorNoSetup,
             [](WineWorld& w)
             {
                 w.files[1].content = enginetest::Pattern(4 << 20, 12);
                 w.ServeRelease();
                 w.launcherOptions = {"--file-size-limit", "2048"};
             })
        .Records({"Couldn't write part file", kAttemptsMessage})
        .Then(All({kAttemptsEnd,
                   [](WineWorld& w) {
                       EXPECT_EQ(RecordsStartingWith(w.lastRun, "Couldn't write part file"),
                                 w.RequestsFor(kDataPath));
                   }})),
    Scenario("FileDeletedBeforeItsVerificationIsFetchedAgain", End::SetupLaunched,
             [](WineWorld& w) {
                 BeforeListRead(w, 3,
                                [](WineWorld& world) { fs::remove(world.LocalPath("Setup_ABC-1a.bin")); });
             })
        .Then(
            [](WineWorld& w)
            {
                EXPECT_EQ(w.RequestsFor(kDataPath), 2u);
                EXPECT_EQ(w.RequestsFor("/rel/Files/Setup.exe"), 1u) << "the file left in place is kept";
            }),
    Scenario("FileChangedBeforeItsVerificationIsReplaced", End::SetupLaunched,
             [](WineWorld& w)
             {
                 BeforeListRead(w, 3,
                                [](WineWorld& world)
                                { enginetest::WriteFileText(world.LocalPath("Setup_ABC.exe"), "tampered"); });
             })
        .Records({"CheckFileFromCRCInfo CRC is not correct: ",
                  "The download contained errors, but they seem to be resolved. Starting setup"})
        .Then([](WineWorld& w) { EXPECT_EQ(w.RequestsFor("/rel/Files/Setup.exe"), 2u); }),

    // [SECTION] Names that become request targets and Win32 paths
    Scenario("NameWithSpaceAndHash", End::SetupLaunched,
             [](WineWorld& w)
             {
                 w.files[0].name = "My Setup#1.exe";
                 w.ServeList(enginetest::FileListText(w.files));
                 w.server.Route("GET", "/rel/Files/My%20Setup%231.exe", Response::Ok(w.files[0].content));
             })
        .Launching("My Setup#1_ABC.exe"),
};

class FaultMatrix : public ::testing::TestWithParam<Scenario>
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(PrepareWineWorld(), "");
        ASSERT_EQ(world.Open(), "");
    }

    WineWorld world;
};

TEST_P(FaultMatrix, EndsAsExpected)
{
    const Scenario& scenario = GetParam();
    world.ServeRelease();
    scenario.arrange(world);
    const ProbeResult result = world.RunProgram(scenario.bound);
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    const nlohmann::json& run = result.answer;
    ASSERT_TRUE(run.is_object()) << result.output;
    EXPECT_EQ(world.ChangesOutside(), std::vector<std::string>{});

    switch (scenario.end)
    {
    case End::SetupLaunched:
    {
        ASSERT_EQ(run["described"], true);
        EXPECT_EQ(run["ended"], true);
        const auto launches = world.SetupLaunches(1);
        ASSERT_EQ(launches.size(), 1u) << run["records"].dump(1);
        EXPECT_EQ(launches[0].arguments[0], world.LocalPath(scenario.setupName).string());
        EXPECT_TRUE(enginetest::ReadFileText(world.LocalPath("Setup_ABC-1a.bin")) == DataFile(world));
        break;
    }
    case End::ErrorNoSetup:
        ASSERT_EQ(run["described"], true);
        EXPECT_EQ(run["ended"], true);
        EXPECT_GT(run["errorCount"], 0) << "an error end must leave the error screen something to show";
        EXPECT_TRUE(world.SetupLaunches(0).empty());
        break;
    case End::RefusedAtRequest:
        EXPECT_EQ(run["described"], false);
        EXPECT_EQ(world.RequestsFor(kListPath), 0u);
        EXPECT_TRUE(world.SetupLaunches(0).empty());
        break;
    }
    for (const auto& text : scenario.records)
        EXPECT_TRUE(AnyRecordContains(run, text)) << "no record contains: " << text;
    if (scenario.verify)
        scenario.verify(world);
}

INSTANTIATE_TEST_SUITE_P(Matrix, FaultMatrix, ::testing::ValuesIn(kScenarios), ScenarioName);

} // namespace
} // namespace wintest
