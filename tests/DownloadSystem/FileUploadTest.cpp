#include "DownloadSystem/FileUpload.h"
#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "Platform/HttpRequest.h"
#include "support/HttpsTestServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace
{

using namespace std::chrono_literals;
using DownloadSystem::FileUpload;
using nd::StringUtils;
using testsupport::HttpsTestServer;
using testsupport::RecordedRequest;
using testsupport::Response;

std::string BodyText(const FileUpload& upload)
{
    nd::ByteBuffer body;
    upload.BuildRequestBody(body);
    return std::string(reinterpret_cast<const char*>(body.Data()), body.Size());
}

size_t CountRecords(const std::string& message)
{
    size_t count = 0;
    for (const auto& record : nd::GetLogRecords())
        count += record["message"].get<std::string>() == message ? 1 : 0;
    return count;
}

// Position of a header in the order the request carried them; npos when absent.
size_t HeaderPosition(const RecordedRequest& request, const std::string& name)
{
    for (size_t i = 0; i < request.headers.size(); ++i)
        if (request.headers[i].first == name)
            return i;
    return std::string::npos;
}

// [SECTION] Building the request and reading the answer's headers

TEST(FileUploadBuild, FormFieldsGoInKeyOrderJoinedByAmpersand)
{
    FileUpload upload;
    upload.AddField(u"b", u"2");
    upload.AddField(u"a", u"1");
    EXPECT_EQ("a=1&b=2", BodyText(upload));

    upload.AddField(u"", u"bare");
    EXPECT_EQ("bare&a=1&b=2", BodyText(upload));
}

TEST(FileUploadBuild, EncodedFieldValuesArePercentEncodedNamesAreNot)
{
    FileUpload upload;
    upload.AddField(u"release name", u"Norvia 3-2 \u00e9", true);
    upload.AddField(u"plain", u"a b", false);
    EXPECT_EQ("plain=a b&release name=Norvia%203%2d2%20%c3%a9", BodyText(upload));
}

TEST(FileUploadBuild, RawBodyTakesPrecedenceOverFields)
{
    FileUpload upload;
    upload.AddField(u"a", u"1");
    nd::ByteBuffer raw;
    raw.Append(std::string("\x1f\x8b\0raw", 6));
    upload.SetBody(raw);
    EXPECT_EQ(std::string("\x1f\x8b\0raw", 6), BodyText(upload));

    upload.Reset();
    EXPECT_EQ("", BodyText(upload));
    EXPECT_EQ(0u, upload.GetStatusCode());
    EXPECT_TRUE(upload.GetStatusText().empty());
}

TEST(FileUploadBuild, HeadersInKeyOrderWithoutTrailingSeparator)
{
    FileUpload upload;
    EXPECT_EQ(u"", upload.BuildRequestHeaders());
    upload.SetHeader(u"X-Zeta", u"z");
    upload.SetHeader(u"ComputerId", u"abc");
    upload.SetHeader(u"Accept", u"*/*");
    EXPECT_EQ(u"Accept: */*\r\nComputerId: abc\r\nX-Zeta: z", upload.BuildRequestHeaders());
}

TEST(FileUploadBuild, ResponseHeaderParsing)
{
    FileUpload upload;
    const std::u16string raw = u"HTTP/1.1 200 OK\r\n"
                               u"Content-Type: application/json\r\n"
                               u"X-Spaced:  two\r\n"
                               u"X-Empty: \r\n"
                               u"X-Odd: a: b\r\n"
                               u"X-Dup: first\r\n"
                               u"X-Dup: second\r\n"
                               u"\r\n";
    upload.ParseResponseHeaders(raw);

    const auto& headers = upload.GetResponseHeaders();
    EXPECT_EQ(raw, upload.GetRawResponseHeaders());
    EXPECT_EQ(4u, headers.size());
    EXPECT_EQ(u"application/json", headers.at(u"Content-Type"));
    EXPECT_EQ(u"two", headers.at(u"X-Spaced"));
    EXPECT_EQ(u"", headers.at(u"X-Empty"));
    EXPECT_EQ(u"second", headers.at(u"X-Dup"));
    EXPECT_EQ(0u, headers.count(u"X-Odd"));

    upload.ParseResponseHeaders(u"HTTP/1.1 204 No Content\r\n\r\n");
    EXPECT_TRUE(upload.GetResponseHeaders().empty());
}

TEST(FileUploadBuild, ServerSettingsFromUrl)
{
    FileUpload upload;
    upload.ServerSettingsFromUrl(u"https://service.localhost:8443/Norvia/DownloadManager8.ashx");
    EXPECT_EQ(u"service.localhost", upload.GetHost());
    EXPECT_EQ(u"Norvia/DownloadManager8.ashx", upload.GetPath());
    EXPECT_EQ(8443u, upload.GetPort());
    EXPECT_TRUE(upload.IsSecure());

    upload.ServerSettingsFromUrl(u"http://plain.localhost/x");
    EXPECT_EQ(80u, upload.GetPort());
    EXPECT_FALSE(upload.IsSecure());
}

// [SECTION] Requests against the local server

class FileUploadTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        HttpsTestServer::UseTestCa();
        SetTimeouts(5000);
    }

    static void SetTimeouts(uint32_t receiveMs)
    {
        Platform::HttpTimeouts timeouts;
        timeouts.connectMs = 2000;
        timeouts.sendMs = 5000;
        timeouts.receiveMs = receiveMs;
        Platform::SetHttpTimeoutsForTesting(timeouts);
    }

    void SetUp() override
    {
        ASSERT_TRUE(server.Start());
        nd::ClearErrors();
    }

    std::u16string Url(const std::string& path) const { return StringUtils::FromUtf8(server.Url(path)); }

    HttpsTestServer server;
};

TEST_F(FileUploadTest, FormPostSendsFieldsAndHeadersInKeyOrder)
{
    server.Route("POST", "/Norvia/DownloadManager8.ashx",
                 Response::Ok("{\"ok\":true}").WithHeader("X-Answer", "42"));
    FileUpload upload;
    const FileUpload::StringMap headers = {{u"X-Zeta", u"z"}, {u"ComputerId", u"abc"}};
    const FileUpload::StringMap fields = {{u"release", u"Norvia 3"}, {u"action", u"get"}};

    EXPECT_TRUE(upload.PostFields(Url("/Norvia/DownloadManager8.ashx"), FileUpload::kMethodPost, headers,
                                  fields, true));

    const auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    const RecordedRequest& request = requests[0];
    EXPECT_EQ("POST", request.method);
    EXPECT_EQ("action=get&release=Norvia%203", request.body);
    EXPECT_EQ("gzip,deflate", request.Header("Accept-Encoding"));
    const size_t accept = HeaderPosition(request, "Accept-Encoding");
    const size_t computer = HeaderPosition(request, "ComputerId");
    const size_t zeta = HeaderPosition(request, "X-Zeta");
    ASSERT_NE(std::string::npos, zeta);
    EXPECT_LT(accept, computer);
    EXPECT_LT(computer, zeta);

    EXPECT_EQ(200u, upload.GetStatusCode());
    EXPECT_EQ(u"OK", upload.GetStatusText());
    EXPECT_EQ("{\"ok\":true}", upload.GetResponseText());
    EXPECT_EQ(u"42", upload.GetResponseHeaders().at(u"X-Answer"));
    EXPECT_EQ(1u, upload.GetAttempts());
    EXPECT_EQ(request.body.size(), upload.GetBytesSent());
    EXPECT_EQ(0u, nd::GetErrorCount());
}

TEST_F(FileUploadTest, RawBodyArrivesByteForByte)
{
    std::string payload(5000, '\0');
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>((i * 7) ^ (i >> 3));
    server.Route("POST", "/upload", Response::Ok("stored"));
    nd::ByteBuffer body;
    body.Append(payload);
    FileUpload upload;

    EXPECT_TRUE(upload.PostBody(Url("/upload"), FileUpload::kMethodPost, {{u"ComputerId", u"abc"}}, body));

    const auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(payload, requests[0].body);
    EXPECT_EQ("abc", requests[0].Header("ComputerId"));
    EXPECT_EQ(payload.size(), upload.GetBytesToSend());
    EXPECT_EQ(payload.size(), upload.GetBytesSent());
    EXPECT_EQ("stored", upload.GetResponseText());
}

TEST_F(FileUploadTest, NotFoundIsAnAnswerReadOnce)
{
    server.Route("POST", "/gone", Response::Status(404, "no such thing"));
    FileUpload upload;

    EXPECT_TRUE(upload.PostFields(Url("/gone"), FileUpload::kMethodPost, {}, {{u"a", u"1"}}, false));

    EXPECT_EQ(1u, server.Requests().size());
    EXPECT_EQ(404u, upload.GetStatusCode());
    EXPECT_EQ(u"Not Found", upload.GetStatusText());
    EXPECT_EQ("no such thing", upload.GetResponseText());
    EXPECT_EQ(1u, upload.GetAttempts());
}

TEST_F(FileUploadTest, CompressedAnswerIsDecoded)
{
    server.Route("GET", "/meta.json", Response::Gzip(std::string(3000, 'j')));
    FileUpload upload;
    EXPECT_TRUE(upload.PostFields(Url("/meta.json"), FileUpload::kMethodGet, {}, {}, false));
    EXPECT_EQ("GET", server.Requests().at(0).method);
    EXPECT_EQ(std::string(3000, 'j'), upload.GetResponseText());
}

TEST_F(FileUploadTest, SecondAttemptRepeatsTheEncodingsInAcceptEncoding)
{
    // The first answer comes too late for the receive time-out, so the send fails once.
    SetTimeouts(500);
    std::atomic<int> calls{0};
    server.Route("POST", "/slow",
                 [&](const RecordedRequest&)
                 {
                     if (calls++ == 0)
                         std::this_thread::sleep_for(1500ms);
                     return Response::Ok("done");
                 });
    FileUpload upload;
    const bool answered = upload.PostFields(Url("/slow"), FileUpload::kMethodPost, {}, {{u"a", u"1"}}, false);
    SetTimeouts(5000);

    EXPECT_TRUE(answered);
    const auto requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("gzip,deflate", requests[0].Header("Accept-Encoding"));
    EXPECT_EQ("gzip,deflate,gzip,deflate", requests[1].Header("Accept-Encoding"));
    EXPECT_EQ(2u, upload.GetAttempts());
    EXPECT_EQ(1u, CountRecords("Error on HttpSendRequest, "));
    EXPECT_EQ("done", upload.GetResponseText());
}

TEST_F(FileUploadTest, ClosedPortEndsWithStatus9000AfterThreeAttempts)
{
    HttpsTestServer gone;
    ASSERT_TRUE(gone.Start());
    const std::u16string url = StringUtils::FromUtf8(gone.Url("/Norvia/DownloadManager8.ashx"));
    const std::string hostPort = gone.HostPort();
    gone.Stop();
    FileUpload upload;

    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(upload.PostFields(url, FileUpload::kMethodPost, {}, {{u"a", u"1"}}, true));
    const auto took = std::chrono::steady_clock::now() - before;

    EXPECT_EQ(9000u, upload.GetStatusCode());
    EXPECT_EQ(u"HTTP Operation failed", upload.GetStatusText());
    EXPECT_EQ("HTTP Operation failed", upload.GetStatusTextNarrow());
    EXPECT_EQ(3u, upload.GetAttempts());
    // A refused connection belongs to the connecting step, as its record says.
    const size_t colon = hostPort.find(':');
    const std::string connectFailed = "Connection::OpenHttpConnection InternetConnect failed for " +
                                      hostPort.substr(0, colon) + " " + hostPort.substr(colon + 1);
    EXPECT_EQ(3u, CountRecords(connectFailed));
    EXPECT_EQ(0u, CountRecords("Error on HttpSendRequest, "));
    EXPECT_EQ(0u, nd::GetErrorCount());
    EXPECT_GE(took, 300ms); // a pause follows every failed attempt
    for (const auto& record : nd::GetLogRecords())
    {
        if (record["message"].get<std::string>() == connectFailed)
        {
            EXPECT_EQ(Platform::HttpError::kCannotConnect, record["error_number"].get<int>());
        }
    }
}

TEST_F(FileUploadTest, RawBodyToClosedPortIsReportedPerAttemptOnly)
{
    HttpsTestServer gone;
    ASSERT_TRUE(gone.Start());
    const std::u16string url = StringUtils::FromUtf8(gone.Url("/upload"));
    gone.Stop();
    nd::ByteBuffer body;
    body.Append(std::string(10 * 1024, 'l'));
    FileUpload upload;

    EXPECT_FALSE(upload.PostBody(url, FileUpload::kMethodPost, {}, body));

    EXPECT_EQ(9000u, upload.GetStatusCode());
    // One record per failed attempt, not one per 1024-byte piece that could not be written; the
    // connection is refused before any send.
    EXPECT_EQ(0u, nd::GetErrorCount());
    EXPECT_EQ(0u, CountRecords("Error on HttpSendRequestEx\n"));
    EXPECT_EQ(3u, upload.GetAttempts());
    EXPECT_EQ(0u, upload.GetBytesSent());
}

TEST_F(FileUploadTest, DestroyingARunningUploadWaitsForItsWorker)
{
    server.Route("POST", "/stall", Response::Stall("late", 0, 60s));
    auto upload = std::make_unique<FileUpload>();
    upload->ServerSettingsFromUrl(Url("/stall"));
    upload->AddField(u"a", u"1");
    upload->Start();
    ASSERT_TRUE(
        [&]
        {
            for (int i = 0; i < 2000 && server.Requests().empty(); ++i)
                std::this_thread::sleep_for(5ms);
            return !server.Requests().empty();
        }());

    const auto before = std::chrono::steady_clock::now();
    upload.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
}

} // namespace
