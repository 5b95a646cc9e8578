#include "ProbeOperations.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/CRC.h"
#include "DownloadSystem/DownloadCore.h"
#include "DownloadSystem/DownloadManager.h"
#include "DownloadSystem/FileDownload.h"
#include "DownloadSystem/FileUpload.h"
#include "Platform/HttpRequest.h"
#include "Platform/Windows/CallThread.h"

namespace probe
{

namespace
{

using Clock = std::chrono::steady_clock;
using nd::StringUtils;
using namespace std::chrono_literals;

int64_t MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (!condition())
    {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Size and CRC-32 of bytes, with their text for small bodies.
nlohmann::json Describe(const uint8_t* bytes, size_t size)
{
    DownloadSystem::CRC crc;
    crc.Init();
    nlohmann::json described{{"size", size},
                             {"crc", size == 0 ? 0u : crc.Compute(bytes, static_cast<int32_t>(size))}};
    if (size <= 65536)
        described["text"] = std::string(reinterpret_cast<const char*>(bytes), size);
    return described;
}

std::u16string Wide(const std::string& text)
{
    return StringUtils::FromUtf8(text);
}

// "name=value" options as a map.
DownloadSystem::FileUpload::StringMap Pairs(const std::vector<std::string>& entries)
{
    DownloadSystem::FileUpload::StringMap map;
    for (const auto& entry : entries)
    {
        const size_t equals = entry.find('=');
        map[Wide(entry.substr(0, equals))] =
            equals == std::string::npos ? u"" : Wide(entry.substr(equals + 1));
    }
    return map;
}

// Clears a running flag after a delay and remembers when.
class Canceller
{
public:
    Canceller(std::atomic<bool>& flag, int64_t afterMs)
    {
        if (afterMs < 0)
            return;
        worker = std::thread(
            [this, &flag, afterMs]
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
                cleared = Clock::now();
                flag.store(false);
            });
    }
    ~Canceller()
    {
        if (worker.joinable())
            worker.join();
    }
    // Milliseconds from the clearing to now; -1 without one.
    int64_t Since()
    {
        if (!worker.joinable())
            return -1;
        worker.join();
        return MillisecondsSince(cleared);
    }

private:
    std::thread worker;
    Clock::time_point cleared;
};

} // namespace

nlohmann::json Request(const Arguments& arguments)
{
    Platform::HttpRequestOptions options;
    options.host = arguments.Text("host");
    options.target = arguments.Text("target", "/");
    options.verb = arguments.Text("verb", "GET");
    options.secure = !arguments.Has("plain");
    options.decodeContent = arguments.Has("decode");
    options.agent = arguments.Text("agent");
    for (const auto& line : arguments.All("header"))
        options.headerBlock += line + "\r\n";
    const std::string body = arguments.Text("body");

    std::atomic<bool> running{true};
    Canceller canceller(running, arguments.Number("cancel-after-ms", -1));
    Platform::HttpRequest request;
    bool sent = false;
    if (arguments.Has("stream"))
    {
        sent = request.Begin(options, body.size(), &running);
        for (size_t offset = 0; sent && offset < body.size(); offset += 1024)
        {
            size_t written = 0;
            sent = request.Write(body.data() + offset, std::min<size_t>(1024, body.size() - offset), written);
        }
        sent = sent && request.End();
    }
    else
    {
        sent = request.Send(options, body.data(), body.size(), &running);
    }
    nlohmann::json answer{{"sent", sent},
                          {"sendError", sent ? 0 : request.LastError()},
                          {"status", request.StatusCode()},
                          {"statusText", request.StatusText()},
                          {"rawHeaders", request.RawHeaders()}};
    if (sent)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(arguments.Number("pause-ms")));
        std::vector<uint8_t> received;
        std::vector<uint8_t> piece(static_cast<size_t>(arguments.Number("read-size", 65536)));
        bool ok = true;
        for (;;)
        {
            size_t read = 0;
            ok = request.Read(piece.data(), piece.size(), read);
            if (!ok || read == 0)
                break;
            received.insert(received.end(), piece.begin(), piece.begin() + read);
        }
        answer["readOk"] = ok;
        answer["readError"] = ok ? 0 : request.LastError();
        answer["body"] = Describe(received.data(), received.size());
    }
    answer["cancelToReturnMs"] = canceller.Since();
    if (arguments.Has("await-call-threads"))
    {
        // A left call keeps its thread until the network lets it go; the test's server closes
        // its connections a while after the request was left.
        request.Close();
        const auto returned = Clock::now();
        answer["callThreadsAtReturn"] = Platform::CallThread::LiveThreads();
        const bool ended = WaitUntil([] { return Platform::CallThread::LiveThreads() == 0; }, 30s);
        answer["callThreadsEndedMs"] = ended ? MillisecondsSince(returned) : -1;
    }
    return answer;
}

nlohmann::json Download(const Arguments& arguments)
{
    nlohmann::json answer;
    {
        DownloadSystem::FileDownload download;
        download.SetHost(Wide(arguments.Text("host")));
        download.SetPath(Wide(arguments.Text("path")));
        download.SetRequestSuffix(Wide(arguments.Text("suffix")));
        download.SetExpectedCRC(static_cast<uint32_t>(arguments.Number("crc")));
        download.StartPartDownload(Wide(arguments.Text("destination")));
        const auto reached = [&](int64_t bytes) {
            return WaitUntil([&] { return download.GetBytesReceived() >= bytes || download.GetState() == 7; },
                             30s);
        };
        const auto pauseAfter = arguments.Number("pause-after-bytes", -1);
        if (pauseAfter >= 0 && reached(pauseAfter))
        {
            download.TogglePause();
            std::this_thread::sleep_for(200ms);
            const uint32_t held = download.GetBytesReceived();
            std::this_thread::sleep_for(std::chrono::milliseconds(arguments.Number("pause-ms", 1000)));
            answer["bytesWhilePaused"] = download.GetBytesReceived() - held;
            download.TogglePause();
        }
        const auto stopAfter = arguments.Number("stop-after-bytes", -1);
        if (stopAfter >= 0 && reached(stopAfter))
        {
            const auto start = Clock::now();
            download.Stop(DownloadSystem::FileDownload::kInfinite);
            answer["stopMs"] = MillisecondsSince(start);
        }
        WaitUntil([&] { return download.GetState() == 7 || !download.IsRunning(); }, 120s);
        download.Wait(DownloadSystem::FileDownload::kInfinite);
        answer["state"] = download.GetState();
        answer["bytesReceived"] = download.GetBytesReceived();
    }
    return answer;
}

nlohmann::json Upload(const Arguments& arguments)
{
    DownloadSystem::FileUpload upload;
    const std::u16string url = Wide(arguments.Text("url"));
    const auto method =
        static_cast<uint32_t>(arguments.Number("method", DownloadSystem::FileUpload::kMethodPost));
    const auto headers = Pairs(arguments.All("header"));
    const bool ok =
        upload.PostFields(url, method, headers, Pairs(arguments.All("field")), arguments.Has("encode"));
    nlohmann::json responseHeaders = nlohmann::json::object();
    for (const auto& [name, value] : upload.GetResponseHeaders())
        responseHeaders[StringUtils::ToUtf8(name)] = StringUtils::ToUtf8(value);
    return {{"ok", ok},
            {"status", upload.GetStatusCode()},
            {"statusText", upload.GetStatusTextNarrow()},
            {"response", upload.GetResponseText()},
            {"responseHeaders", responseHeaders},
            {"rawHeaders", StringUtils::ToUtf8(upload.GetRawResponseHeaders())},
            {"attempts", upload.GetAttempts()}};
}

nlohmann::json Run(const Arguments& arguments)
{
    auto core = std::make_shared<DownloadSystem::DownloadCore>(Wide(arguments.Text("program")));
    const auto manager = core->GetDownloadManager();
    const auto bound = std::chrono::milliseconds(arguments.Number("bound-ms", 60000));
    const auto start = Clock::now();
    nlohmann::json answer;
    const bool described = core->RequestDescription();
    answer["described"] = described;
    if (described)
    {
        core->StartDownload();
        const auto stopAfter = arguments.Number("stop-after-bytes", -1);
        if (stopAfter >= 0)
        {
            answer["stopReached"] = WaitUntil(
                [&] { return manager->GetDownloadedBytes() > static_cast<uint64_t>(stopAfter); }, 30s);
            if (arguments.Has("pause-first"))
            {
                core->TogglePause();
                std::this_thread::sleep_for(300ms);
            }
            const auto stopStart = Clock::now();
            manager->StopDownload();
            answer["stopMs"] = MillisecondsSince(stopStart);
        }
        answer["ended"] = WaitUntil([&] { return core->IsFinished(); }, bound);
    }
    answer["elapsedMs"] = MillisecondsSince(start);
    // What the exit control does: the log beside the program, compressed to the service.
    if (arguments.Has("post-log"))
        core->PostLogFile();
    answer["downloadedBytes"] = manager->GetDownloadedBytes();
    answer["totalBytes"] = manager->GetTotalBytes();
    answer["progressPercent"] = manager->GetProgressPercent();
    answer["verifyPercent"] = manager->GetVerifyPercent();
    answer["productCode"] = StringUtils::ToUtf8(manager->GetProductCode());
    return answer;
}

} // namespace probe
