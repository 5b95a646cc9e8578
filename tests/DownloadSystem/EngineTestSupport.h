#pragma once
// Shared pieces of the engine tests: a temporary folder, a recording stand-in for xdg-open put
// first on PATH, setup files with their file-list text, and a fixture that serves a release
// from the local HTTPS test server with the remote hosts pointed at it.

#include "Core/ErrorLog.h"
#include "Core/StringUtils.h"
#include "DownloadSystem/CRC.h"
#include "DownloadSystem/DownloadManager.h"
#include "Platform/HttpRequest.h"
#include "support/HttpsTestServer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace enginetest
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline std::string ReadFileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline void WriteFileText(const fs::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

class TempFolder
{
public:
    TempFolder()
    {
        char pattern[] = "/tmp/norvia-engine-XXXXXX";
        if (mkdtemp(pattern) != nullptr)
            path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        if (!path.empty())
            fs::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    fs::path path;
};

struct Launch
{
    std::string workingFolder;
    std::vector<std::string> arguments;
};

// A script named xdg-open, first on PATH, that appends one record per launch to a file.
class FakeOpener
{
public:
    explicit FakeOpener(const fs::path& folder) : bin(folder / "bin"), log(folder / "launches.txt")
    {
        fs::create_directories(bin);
        WriteFileText(bin / "xdg-open",
                      "#!/bin/sh\n{ printf 'cwd=%s\\n' \"$PWD\"; for a in \"$@\"; do printf 'arg=%s\\n' "
                      "\"$a\"; done; printf 'end\\n'; } >> '" +
                          log.string() + "'\n");
        fs::permissions(bin / "xdg-open", fs::perms::owner_all);
        const char* path = std::getenv("PATH");
        oldPath = path ? path : "";
        setenv("PATH", (bin.string() + ":" + oldPath).c_str(), 1);
    }
    ~FakeOpener() { setenv("PATH", oldPath.c_str(), 1); }

    // From now on a launch of a target ending in ".exe" is recorded and then exits with status,
    // as an opener does that cannot start the program.
    void FailExecutables(int status) const
    {
        std::ofstream(bin / "xdg-open", std::ios::app)
            << "case \"$1\" in *.exe) exit " << status << ";; esac\n";
    }

    std::vector<Launch> Launches() const
    {
        std::vector<Launch> launches;
        std::istringstream lines(ReadFileText(log));
        std::string line;
        Launch current;
        while (std::getline(lines, line))
        {
            if (line.rfind("cwd=", 0) == 0)
                current.workingFolder = line.substr(4);
            else if (line.rfind("arg=", 0) == 0)
                current.arguments.push_back(line.substr(4));
            else if (line == "end")
            {
                launches.push_back(current);
                current = {};
            }
        }
        return launches;
    }

    // The opener runs on its own after the launch: wait (bounded) for its records.
    std::vector<Launch> WaitForLaunches(size_t count, std::chrono::milliseconds limit = 5s) const
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        auto launches = Launches();
        while (launches.size() < count && std::chrono::steady_clock::now() < end)
        {
            std::this_thread::sleep_for(20ms);
            launches = Launches();
        }
        return launches;
    }

private:
    fs::path bin;
    fs::path log;
    std::string oldPath;
};

struct SetupFile
{
    std::string name;
    std::string content;
};

// The content of a gzip stream; empty when it is none or is cut short.
inline std::string Inflate(const std::string& gzip)
{
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return {};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gzip.data()));
    stream.avail_in = static_cast<uInt>(gzip.size());
    std::string output;
    char piece[4096];
    int result = Z_OK;
    while (result == Z_OK)
    {
        stream.next_out = reinterpret_cast<Bytef*>(piece);
        stream.avail_out = sizeof(piece);
        result = inflate(&stream, Z_NO_FLUSH);
        output.append(piece, sizeof(piece) - stream.avail_out);
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END ? output : std::string();
}

// Bytes taken as UTF-16LE code units.
inline std::u16string FromUtf16Le(const std::string& bytes)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                             (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    return text;
}

inline uint32_t CrcOf(const std::string& content)
{
    DownloadSystem::CRC crc;
    crc.Init();
    return crc.Compute(reinterpret_cast<const uint8_t*>(content.data()),
                       static_cast<int32_t>(content.size()));
}

// The storage's text: leading text, then ";" name CRLF size CRLF signed CRC CRLF per file.
inline std::string FileListText(const std::vector<SetupFile>& files)
{
    std::string text = "Norvia setup files";
    for (const auto& file : files)
        text += ";" + file.name + "\r\n" + std::to_string(file.content.size()) + "\r\n" +
                std::to_string(static_cast<int32_t>(CrcOf(file.content))) + "\r\n";
    return text;
}

inline std::string Pattern(size_t size, int seed)
{
    std::string content(size, '\0');
    uint32_t value = 2166136261u ^ static_cast<uint32_t>(seed);
    for (char& c : content)
    {
        value = value * 16777619u + 0x9E3779B9u;
        c = static_cast<char>(value >> 24);
    }
    return content;
}

inline std::u16string Wide(const std::string& text)
{
    return nd::StringUtils::FromUtf8(text);
}

inline std::string Narrow(const std::u16string& text)
{
    return nd::StringUtils::ToUtf8(text);
}

inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

inline bool AnyRecordContains(const std::string& text)
{
    for (const auto& record : nd::GetLogRecords())
    {
        if (record["message"].get<std::string>().find(text) != std::string::npos)
            return true;
    }
    return false;
}

inline size_t RecordsStartingWith(const std::string& text)
{
    size_t count = 0;
    for (const auto& record : nd::GetLogRecords())
    {
        if (record["message"].get<std::string>().rfind(text, 0) == 0)
            ++count;
    }
    return count;
}

// A release on the local server: the description service and the storage on one HTTPS server.
class EngineTest : public ::testing::Test
{
protected:
    static constexpr const char* kListName = "Norvia_3_2_Home.txt";
    static constexpr const char* kSubfolder = "rel/Files";

    void SetUp() override
    {
        nd::ClearErrors();
        testsupport::HttpsTestServer::UseTestCa();
        ASSERT_TRUE(server.Start());
        setenv("NORVIA_SERVICE_HOST", server.HostPort().c_str(), 1);
        setenv("NORVIA_CONTENT_HOST", server.HostPort().c_str(), 1);
        setenv("NORVIA_SUPPORT_HOST", "support.localhost", 1);
        Platform::HttpTimeouts timeouts;
        timeouts.connectMs = 2000;
        timeouts.receiveMs = 5000;
        timeouts.sendMs = 5000;
        Platform::SetHttpTimeoutsForTesting(timeouts);
        target = temp.path / "target";
        data = temp.path / "data";
        fs::create_directories(target);
        fs::create_directories(data);
    }

    void TearDown() override { server.Stop(); }

    void ServeDescription(const std::string& hostName, const std::string& signature = "?sv=1&sig=abc",
                          const std::string& subfolder = kSubfolder)
    {
        nlohmann::json answer{{"product_code", "ABC"},
                              {"company_name", "Halden"},
                              {"download_subdir", subfolder},
                              {"host_name", hostName},
                              {"SAS", signature}};
        server.Route("POST", "/Norvia/DownloadManager8.ashx", testsupport::Response::Ok(answer.dump()));
    }

    void ServeRelease(const std::vector<SetupFile>& files)
    {
        ServeDescription(server.HostPort());
        server.Route("GET", std::string("/") + kSubfolder + "/" + kListName,
                     testsupport::Response::Ok(FileListText(files)));
        for (const auto& file : files)
            server.Route("GET", std::string("/") + kSubfolder + "/" + file.name,
                         testsupport::Response::Ok(file.content));
    }

    fs::path LocalPath(const std::string& localName) const { return target / localName; }

    void PlaceFiles(const std::vector<std::pair<std::string, std::string>>& localFiles)
    {
        for (const auto& [name, content] : localFiles)
            WriteFileText(target / name, content);
    }

    // Asks for the description, runs the download and waits (bounded) until the run ends.
    bool RunToEnd(DownloadSystem::DownloadManager& manager, std::chrono::milliseconds limit = 60s)
    {
        if (!manager.RequestDownloadDescription(u"Norvia_3_2_Home"))
            return false;
        manager.StartDownloadRun(Wide(kListName), u"", Wide(target.string()), Wide(data.string()));
        return WaitUntil([&] { return !manager.IsRunning(); }, limit);
    }

    size_t RequestsFor(const std::string& path) const
    {
        size_t count = 0;
        for (const auto& request : server.Requests())
        {
            if (request.path == path)
                ++count;
        }
        return count;
    }

    TempFolder temp;
    FakeOpener opener{temp.path};
    fs::path target;
    fs::path data;
    testsupport::HttpsTestServer server;
};

} // namespace enginetest
