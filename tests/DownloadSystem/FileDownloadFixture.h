#pragma once
// The fixture of the file download tests: a local HTTPS storage, a listener that records every
// callback, and a fresh folder for part files.

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/FileDownload.h"
#include "DownloadSystem/IDownloadListener.h"
#include "DownloadSystem/TrickleGuard.h"
#include "Platform/HttpRequest.h"
#include "support/HttpsTestServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <zlib.h>

namespace filedownloadtest
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using DownloadSystem::FileDownload;
using nd::StringUtils;
using testsupport::HttpsTestServer;
using testsupport::Response;

class RecordingListener : public DownloadSystem::IDownloadListener
{
public:
    void OnDownloadFinished(DownloadSystem::FileDownload* download) override
    {
        stateAtFinish = download->GetState();
        Note();
        ++finished;
    }
    void OnDownloadProgress(DownloadSystem::FileDownload*) override
    {
        Note();
        ++progress;
    }

    std::atomic<int> finished{0};
    std::atomic<int> progress{0};
    std::atomic<uint32_t> stateAtFinish{0};
    std::mutex mutex;
    std::set<std::thread::id> threads;

private:
    void Note()
    {
        std::lock_guard<std::mutex> hold(mutex);
        threads.insert(std::this_thread::get_id());
    }
};

inline uint32_t CrcOf(const std::string& text)
{
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
}

inline std::string RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

inline std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string Text(const nd::ByteBuffer& buffer)
{
    return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Size());
}

inline std::vector<nd::ErrorRecord> RecordsStartingWith(const std::string& prefix)
{
    std::vector<nd::ErrorRecord> found;
    for (const auto& record : nd::GetLogRecords())
        if (record["message"].get<std::string>().rfind(prefix, 0) == 0)
            found.push_back(record);
    return found;
}

template <typename Condition> inline bool WaitFor(Condition condition, std::chrono::milliseconds limit = 20s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class FileDownloadTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        HttpsTestServer::UseTestCa();
        Platform::HttpTimeouts timeouts;
        timeouts.connectMs = 2000;
        timeouts.sendMs = 5000;
        timeouts.receiveMs = 5000;
        Platform::SetHttpTimeoutsForTesting(timeouts);
    }

    void SetUp() override
    {
        ASSERT_TRUE(server.Start());
        folder =
            fs::temp_directory_path() / ("norvia-dl-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        nd::ClearErrors();
    }

    void TearDown() override
    {
        server.Stop();
        fs::remove_all(folder);
    }

    void Aim(FileDownload& download, const std::string& path)
    {
        download.SetHost(StringUtils::FromUtf8(server.HostPort()));
        download.SetPath(StringUtils::FromUtf8(path));
        download.SetListener(&listener);
    }

    std::u16string Destination(const std::string& name) const
    {
        return StringUtils::FromUtf8((folder / name).string());
    }

    bool WaitEnded(FileDownload& download)
    {
        return WaitFor([&] { return download.GetState() == DownloadSystem::kDownloadEnded; });
    }

    // Runs a part-file download to `name` in the test folder to its end, then stops the
    // worker; false when it did not end in time (the worker is stopped all the same).
    bool RunPartDownload(FileDownload& download, const std::string& name)
    {
        download.StartPartDownload(Destination(name));
        const bool ended = WaitEnded(download);
        download.Stop(FileDownload::kInfinite);
        return ended;
    }

    // Serves `broken` first and the whole `body` to the next request, downloads it to
    // setup.bin (checked against the body's CRC when `withCrc`) and expects the retry to
    // leave exactly the body after two requests.
    void ExpectRetriedToTheWholeBody(const std::string& body, Response broken, bool withCrc)
    {
        server.Route("GET", "/setup.bin", std::vector<Response>{std::move(broken), Response::Ok(body)});
        FileDownload download;
        Aim(download, "/setup.bin");
        if (withCrc)
            download.SetExpectedCRC(CrcOf(body));

        ASSERT_TRUE(RunPartDownload(download, "setup.bin"));

        EXPECT_EQ(2u, server.Requests().size());
        EXPECT_EQ(body, ReadFile(folder / "setup.bin"));
    }

    // Serves `body` slowly to a part-file download of setup.bin checked against the body's
    // CRC, and pauses it once the first bytes are in, leaving time for a read under way to
    // finish. False, with the reason recorded, when no byte came in time or the toggle did
    // not report a pause.
    bool StartSlowlyThenPause(FileDownload& download, const std::string& body)
    {
        server.Route("GET", "/setup.bin", Response::Slow(body, 8192, 10ms));
        Aim(download, "/setup.bin");
        download.SetExpectedCRC(CrcOf(body));
        download.StartPartDownload(Destination("setup.bin"));
        if (!WaitFor([&] { return download.GetBytesReceived() > 0; }))
        {
            ADD_FAILURE() << "no byte arrived";
            return false;
        }
        const bool paused = download.TogglePause();
        EXPECT_TRUE(paused) << "the toggle did not report a pause";
        std::this_thread::sleep_for(300ms); // a read under way when pausing may still finish
        return paused;
    }

    HttpsTestServer server;
    RecordingListener listener;
    fs::path folder;
};

} // namespace filedownloadtest
