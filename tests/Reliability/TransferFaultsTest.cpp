// Faults on the way from the storage to the disk: broken connections, bodies that end early or
// stall, error statuses, redirects and certificates. A fault that passes ends with the verified
// release and its setup started; one that lasts ends in the attempts message, never in a setup
// whose bytes are wrong.

#include "FaultWorld.h"

namespace reliability
{
namespace
{

constexpr const char* kDataPath = "/rel/Files/Setup-1a.bin";
constexpr const char* kAttemptsMessage = "Maximum download attempts exceeded";

const std::string& DataFile(FaultWorld& world)
{
    return world.files[1].content;
}

void ServeData(FaultWorld& world, std::vector<Response> answers)
{
    world.server.Route("GET", kDataPath, std::move(answers));
}

// The description names a storage host of its own, with the release served there.
HttpsTestServer& MoveStorageTo(FaultWorld& world, const testsupport::ServerOptions& options)
{
    HttpsTestServer& storage = world.AddServer(options);
    nlohmann::json description = world.Description();
    description["host_name"] = storage.HostPort();
    world.ServeDescription(description);
    storage.Route("GET", kListPath, Response::Ok(enginetest::FileListText(world.files)));
    return storage;
}

void ExpectAttemptsEnd(FaultWorld& world)
{
    EXPECT_TRUE(world.SupportArticleOpened());
    EXPECT_TRUE(AnyRecordWith(kAttemptsMessage, nd::kErrorMaxAttemptsExceeded));
}

HttpsTestServer& AddServerNamed(FaultWorld& world, const std::string& hostName, bool secure = true)
{
    testsupport::ServerOptions options;
    options.hostName = hostName;
    options.secure = secure;
    return world.AddServer(options);
}

const std::vector<Scenario> kTransferScenarios{
    Scenario("ConnectionResetInTheMiddleOfAFile", End::SetupLaunched,
             [](FaultWorld& w) {
                 ServeData(w, {Response::ResetAfter(DataFile(w), 40000), Response::Ok(DataFile(w))});
             })
        .Records({"InternetReadFile Failed for: "})
        .Within(30s)
        .Then([](FaultWorld& w) { EXPECT_EQ(w.RequestsFor(kDataPath), 2u); }),

    Scenario("BodyCutShortUnderItsFullContentLength", End::SetupLaunched,
             [](FaultWorld& w) {
                 ServeData(w, {Response::CutShort(DataFile(w), 30000), Response::Ok(DataFile(w))});
             })
        .Records({"incorrect CRC", "InternetReadFile Failed for: "})
        .Within(30s),

    // The transfer looks complete; only the CRC can tell.
    Scenario("BodyCutShortUnderAMatchingContentLength", End::SetupLaunched,
             [](FaultWorld& w) {
                 ServeData(w, {Response::Ok(DataFile(w).substr(0, 30000)), Response::Ok(DataFile(w))});
             })
        .Records({"incorrect CRC"})
        .Within(30s),

    // Every byte arrives before the connection closes short of the announced length: the file is
    // right and its CRC says so.
    Scenario("ContentLengthBeyondTheWholeBody", End::SetupLaunched,
             [](FaultWorld& w)
             { ServeData(w, {Response::WrongLength(DataFile(w), DataFile(w).size() + 5000)}); })
        .Records({"Error reading file, reconnecting."})
        .Within(30s),

    Scenario("ServerStallsInTheMiddleOfABody", End::SetupLaunched,
             [](FaultWorld& w) {
                 ServeData(w, {Response::Stall(DataFile(w), 30000, 60s), Response::Ok(DataFile(w))});
             })
        .Within(30s)
        .Then(
            [](FaultWorld&)
            { EXPECT_TRUE(AnyRecordWith("InternetReadFile Failed for: ", Platform::HttpError::kTimeout)); }),

    Scenario("FileAnswers500Then503Then200", End::SetupLaunched,
             [](FaultWorld& w) {
                 ServeData(w, {Response::Status(500, "busy"), Response::Status(503, "later"),
                               Response::Ok(DataFile(w))});
             })
        .Records({"Response status not 200, but 500", "Response status not 200, but 503",
                  "The download contained errors, but they seem to be resolved. Starting setup"})
        .Within(30s),

    Scenario("FileListAnswers503Then500Then200", End::SetupLaunched,
             [](FaultWorld& w)
             {
                 w.server.Route("GET", kListPath,
                                std::vector<Response>{Response::Status(503), Response::Status(500),
                                                      Response::Ok(enginetest::FileListText(w.files))});
             })
        .Records({"Response status not 200, but 503", "Response status not 200, but 500"})
        .Within(30s),

    // A 404 that a later attempt of the same read makes good is no end of the release.
    Scenario("FileListAnswers404Then200", End::SetupLaunched,
             [](FaultWorld& w)
             {
                 w.server.Route("GET", kListPath,
                                std::vector<Response>{Response::Status(404),
                                                      Response::Ok(enginetest::FileListText(w.files))});
             })
        .Records({"Response status not 200, but 404"})
        .Within(30s),

    Scenario("FileAlwaysAnswers500", End::ErrorNoSetup,
             [](FaultWorld& w) { ServeData(w, {Response::Status(500)}); })
        .Records({"Response status not 200, but 500", kAttemptsMessage})
        .Then(
            [](FaultWorld& w)
            {
                ExpectAttemptsEnd(w);
                // Four attempts in each of seven passes, and no more.
                EXPECT_EQ(w.RequestsFor(kDataPath), 28u);
            }),

    // The stored bytes are the encoded ones; they never pass for the file.
    Scenario("FileSentGzipEncodedUnasked", End::ErrorNoSetup,
             [](FaultWorld& w) { ServeData(w, {Response::Gzip(DataFile(w))}); })
        .Records({"incorrect CRC", kAttemptsMessage})
        .Then(ExpectAttemptsEnd),

    Scenario("RedirectToAnotherHost", End::SetupLaunched,
             [](FaultWorld& w)
             {
                 HttpsTestServer& mirror = AddServerNamed(w, "localhost");
                 mirror.Route("GET", "/mirror/Setup-1a.bin", Response::Ok(DataFile(w)));
                 ServeData(w, {Response::Redirect(mirror.Url("/mirror/Setup-1a.bin"))});
             })
        .Within(30s)
        .Then([](FaultWorld& w) { EXPECT_EQ(w.extraServers[0]->Requests().size(), 1u); }),

    Scenario("RedirectFromHttpsToPlainHttpIsRefused", End::ErrorNoSetup,
             [](FaultWorld& w)
             {
                 HttpsTestServer& plain = AddServerNamed(w, "127.0.0.1", false);
                 plain.Route("GET", "/plain/Setup-1a.bin", Response::Ok(DataFile(w)));
                 ServeData(w, {Response::Redirect(plain.Url("/plain/Setup-1a.bin"))});
             })
        .Records({"Connection::HttpSendRequest failed for: ", kAttemptsMessage})
        .Then(
            [](FaultWorld& w)
            {
                ExpectAttemptsEnd(w);
                EXPECT_EQ(w.extraServers[0]->Requests().size(), 0u) << "nothing may go out in the clear";
            }),

    Scenario("RedirectLoop", End::ErrorNoSetup,
             [](FaultWorld& w) { ServeData(w, {Response::Redirect(w.server.Url(kDataPath))}); })
        .Records({kAttemptsMessage})
        .Then(
            [](FaultWorld&)
            { EXPECT_TRUE(AnyRecordWith("HttpSendRequest failed", Platform::HttpError::kRedirectFailed)); }),

    Scenario("StorageCertificateExpired", End::ErrorNoSetup,
             [](FaultWorld& w)
             {
                 testsupport::ServerOptions options;
                 options.certificate = testsupport::Certificate::Expired;
                 MoveStorageTo(w, options);
             })
        .Records({kAttemptsMessage})
        .Within(90s)
        .Then(
            [](FaultWorld& w)
            {
                ExpectAttemptsEnd(w);
                EXPECT_TRUE(AnyRecordWith("HttpSendRequest failed", Platform::HttpError::kCertDateInvalid));
                EXPECT_EQ(w.extraServers[0]->Requests().size(), 0u);
            }),
};

class TransferFaults : public ScenarioTest
{
};

TEST_P(TransferFaults, EndsAsExpected)
{
    RunScenario();
}

INSTANTIATE_TEST_SUITE_P(Matrix, TransferFaults, ::testing::ValuesIn(kTransferScenarios), ScenarioName);

} // namespace
} // namespace reliability
