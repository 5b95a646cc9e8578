// Faults of the download service: description answers that are no JSON, lack members, carry
// members of other types, are very large or compressed; errors, stalls and certificates that
// must not be trusted. A failed request ends before any run; an odd answer ends where the
// design says the odd values lead.

#include "FaultWorld.h"

#include "DownloadSystem/FileUpload.h"
#include "support/TestConnection.h"

namespace reliability
{
namespace
{

using testsupport::Certificate;

constexpr const char* kAttemptsMessage = "Maximum download attempts exceeded";

// The service on a server of its own with the given certificate.
void MoveServiceTo(FaultWorld& world, Certificate certificate)
{
    testsupport::ServerOptions options;
    options.certificate = certificate;
    HttpsTestServer& service = world.AddServer(options);
    service.Route("POST", kServicePath, Response::Ok(world.Description().dump()));
    ::setenv("NORVIA_SERVICE_HOST", service.HostPort().c_str(), 1);
}

// Holds the request without a word until the server stops.
testsupport::Handler SilentHandler()
{
    return [](const testsupport::RecordedRequest&)
    {
        if (testsupport::ConnectionContext* connection = testsupport::ConnectionContext::Current())
            connection->lifetime.SleepFor(120s);
        return Response::Status(503);
    };
}

Scenario UntrustedService(const std::string& name, Certificate certificate, int errorNumber)
{
    return Scenario(name, End::RefusedAtRequest,
                    [certificate](FaultWorld& w) { MoveServiceTo(w, certificate); })
        .Within(30s)
        .Then(
            [errorNumber](FaultWorld& w)
            {
                EXPECT_TRUE(AnyRecordWith("Error on HttpSendRequest", errorNumber));
                EXPECT_EQ(w.extraServers[0]->Requests().size(), 0u) << "no request over a refused channel";
            });
}

const std::vector<Scenario> kDescriptionScenarios{
    // Empty members: no storage host, so every storage request fails until the passes run out.
    Scenario("AnswerThatIsNoJson", End::ErrorNoSetup,
             [](FaultWorld& w)
             { w.server.Route("POST", kServicePath, Response::Ok("<html>Service Unavailable</html>")); })
        .Records({kAttemptsMessage})
        .Within(90s)
        .Then([](FaultWorld& w) { EXPECT_EQ(w.RequestsFor(kListPath), 0u); }),

    // Without a folder the list is asked for at the storage's root, where it is not found.
    Scenario("AnswerLackingMembers", End::ErrorNoSetup,
             [](FaultWorld& w) {
                 w.ServeDescription({{"product_code", "ABC"}, {"host_name", w.server.HostPort()}});
             })
        .Records({"This version of Norvia can no longer be downloaded."})
        .Within(30s)
        // One read of four attempts; a 404 ends the run at the first read.
        .Then([](FaultWorld& w) { EXPECT_EQ(w.RequestsFor("/Norvia_3_2_Home.txt"), 4u); }),

    // A product code that is no string reads as empty: the files are named with "_" alone.
    Scenario("AnswerWithMembersOfOtherTypes", End::SetupLaunched,
             [](FaultWorld& w)
             {
                 nlohmann::json answer = w.Description();
                 answer["product_code"] = 42;
                 answer["company_name"] = nullptr;
                 answer["SAS"] = nlohmann::json::array({"?sv=1"});
                 w.ServeDescription(answer);
             })
        .Launching("Setup_.exe")
        .Within(30s)
        .Then(
            [](FaultWorld& w)
            {
                for (const auto& request : w.server.Requests())
                    EXPECT_EQ(request.target.find('?'), std::string::npos) << request.target;
            }),

    Scenario("VeryLargeAnswer", End::SetupLaunched,
             [](FaultWorld& w)
             {
                 nlohmann::json answer = w.Description();
                 answer["notes"] = std::string(8 * 1024 * 1024, 'n');
                 w.ServeDescription(answer);
             })
        .Within(30s),

    // Not read past its limit, the answer reads as empty (the run's start clears its record).
    Scenario("AnswerBeyondItsLimit", End::ErrorNoSetup,
             [](FaultWorld& w)
             {
                 nlohmann::json answer = w.Description();
                 answer["notes"] = std::string(DownloadSystem::FileUpload::kAnswerLimit, 'n');
                 w.ServeDescription(answer);
             })
        .Records({kAttemptsMessage})
        .Within(90s)
        .Then([](FaultWorld& w) { EXPECT_EQ(w.RequestsFor(kListPath), 0u); }),

    Scenario("AnswerCompressedWithGzip", End::SetupLaunched,
             [](FaultWorld& w)
             { w.server.Route("POST", kServicePath, Response::Gzip(w.Description().dump())); })
        .Within(30s)
        .Then(
            [](FaultWorld& w)
            {
                const auto requests = w.server.Requests();
                ASSERT_FALSE(requests.empty());
                EXPECT_NE(requests[0].Header("Accept-Encoding").find("gzip"), std::string::npos);
            }),

    // Any status but 200 is final: no retry, no run.
    Scenario("ServiceAnswers503", End::RefusedAtRequest,
             [](FaultWorld& w) { w.server.Route("POST", kServicePath, Response::Status(503, "busy")); })
        .Within(30s)
        .Then([](FaultWorld& w) { EXPECT_EQ(w.RequestsFor(kServicePath), 1u); }),

    // Three attempts, each ended by the receive time-out while waiting for the status line.
    Scenario("ServiceNeverAnswers", End::RefusedAtRequest,
             [](FaultWorld& w) { w.server.Route("POST", kServicePath, SilentHandler()); })
        .Within(30s)
        .Then(
            [](FaultWorld& w)
            {
                EXPECT_EQ(w.RequestsFor(kServicePath), 3u);
                EXPECT_TRUE(AnyRecordWith("Error on HttpSendRequest", Platform::HttpError::kTimeout));
            }),

    UntrustedService("ServiceCertificateFromAnUntrustedIssuer", Certificate::UntrustedIssuer,
                     Platform::HttpError::kInvalidCa),
    UntrustedService("ServiceCertificateExpired", Certificate::Expired,
                     Platform::HttpError::kCertDateInvalid),
    UntrustedService("ServiceCertificateForAnotherHost", Certificate::WrongName,
                     Platform::HttpError::kCertNameInvalid),
};

class DescriptionFaults : public ScenarioTest
{
};

TEST_P(DescriptionFaults, EndsAsExpected)
{
    RunScenario();
}

INSTANTIATE_TEST_SUITE_P(Matrix, DescriptionFaults, ::testing::ValuesIn(kDescriptionScenarios), ScenarioName);

} // namespace
} // namespace reliability
