// norvia_demo_services: plays the program's remote services on loopback HTTPS for the demo and
// the end-to-end test, and checks a downloaded release against its file list ("verify").

#include "demo_services/Artwork.h"
#include "demo_services/Certificates.h"
#include "demo_services/DemoRelease.h"
#include "demo_services/DemoServer.h"
#include "demo_services/RequestLog.h"
#include "demo_services/ServiceEndpoints.h"
#include "demo_services/ServiceOptions.h"

#include <openssl/rand.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

std::string Quoted(const std::string& value)
{
    std::string quoted = "'";
    for (char c : value)
    {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string RandomHex(size_t bytes)
{
    std::vector<unsigned char> raw(bytes);
    if (RAND_bytes(raw.data(), static_cast<int>(raw.size())) != 1)
    {
        return {};
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : raw)
    {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

std::string MiB(uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", bytes / 1048576.0);
    return text;
}

// Written to a temporary name and renamed, so a reader never sees half a file.
bool WriteReadyFile(const std::string& path, const demo::ServiceEndpoints& endpoints,
                    const demo::CertificateFiles& certificates, const demo::ServiceOptions& options,
                    uint16_t port)
{
    const fs::path listFile =
        fs::absolute(fs::path(options.stateDir) / "storage" / endpoints.Release().Release() /
                     endpoints.Release().FileListName());
    std::string hostNames;
    for (const char* name : demo::kHostNames)
    {
        hostNames += (hostNames.empty() ? "" : " ") + std::string(name);
    }
    std::ofstream out(path + ".tmp", std::ios::trunc);
    out << "NORVIA_DEMO_PORT=" << port << "\n"
        << "NORVIA_DEMO_HOST_NAMES=" << Quoted(hostNames) << "\n"
        << "NORVIA_SERVICE_HOST=" << Quoted(endpoints.HostPort(demo::kServiceName)) << "\n"
        << "NORVIA_CONTENT_HOST=" << Quoted(endpoints.HostPort(demo::kContentName)) << "\n"
        << "NORVIA_SUPPORT_HOST=" << Quoted(endpoints.HostPort(demo::kSupportName)) << "\n"
        << "NORVIA_DEMO_STORAGE_HOST=" << Quoted(endpoints.StorageHostPort()) << "\n"
        << "NORVIA_DEMO_CA_FILE=" << Quoted(certificates.caFile) << "\n"
        << "NORVIA_DEMO_RELEASE=" << Quoted(endpoints.Release().Release()) << "\n"
        << "NORVIA_DEMO_PRODUCT_CODE=" << Quoted(options.productCode) << "\n"
        << "NORVIA_DEMO_FILE_LIST=" << Quoted(listFile.string()) << "\n"
        << "NORVIA_DEMO_REQUEST_LOG=" << Quoted(fs::absolute(options.requestLog).string()) << "\n"
        << "NORVIA_DEMO_UPLOADS=" << Quoted(fs::absolute(options.uploadsDir).string()) << "\n";
    out.close();
    std::error_code ec;
    fs::rename(path + ".tmp", path, ec);
    return out.good() && !ec;
}

int Verify(const std::vector<std::string>& args)
{
    std::string list, folder, productCode;
    for (size_t i = 0; i + 1 < args.size(); i += 2)
    {
        if (args[i] == "--list")
            list = args[i + 1];
        else if (args[i] == "--folder")
            folder = args[i + 1];
        else if (args[i] == "--product-code")
            productCode = args[i + 1];
    }
    std::ifstream in(list, std::ios::binary);
    if (list.empty() || folder.empty() || productCode.empty() || !in)
    {
        std::fputs(demo::ServiceUsage(), stderr);
        return 2;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto files = demo::ParseFileList(text);
    int bad = 0;
    for (const auto& file : files)
    {
        const fs::path path = fs::path(folder) / demo::LocalFileName(file.name, productCode);
        std::error_code ec;
        const auto size = fs::file_size(path, ec);
        std::optional<uint32_t> crc;
        if (!ec)
        {
            crc = demo::FileCrc32(path);
        }
        const bool ok = crc && *crc == file.crc && size == file.size;
        bad += ok ? 0 : 1;
        std::string detail;
        if (crc && !ok)
        {
            char found[64];
            std::snprintf(found, sizeof found, " (on disk: %llu bytes, CRC-32 %08x)",
                          static_cast<unsigned long long>(size), *crc);
            detail = found;
        }
        std::printf("  %-8s %-28s %10llu bytes  CRC-32 %08x%s\n",
                    ok ? "verified" : (crc ? "WRONG" : "MISSING"), path.filename().c_str(),
                    static_cast<unsigned long long>(file.size), file.crc, detail.c_str());
    }
    if (files.empty())
    {
        std::printf("  the file list names no files\n");
        return 1;
    }
    return bad == 0 ? 0 : 1;
}

int Serve(const std::vector<std::string>& args)
{
    std::string error;
    auto parsed = demo::ParseServiceOptions(args, error);
    if (!parsed)
    {
        std::fprintf(stderr, "norvia_demo_services: %s\n%s", error.c_str(), demo::ServiceUsage());
        return 2;
    }
    const demo::ServiceOptions options = *parsed;

    // Signals are taken by sigtimedwait below; every thread started from here on inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::error_code ec;
    fs::create_directories(options.stateDir, ec);
    fs::create_directories(fs::absolute(options.requestLog).parent_path(), ec);
    demo::CertificateFiles certificates;
    if (!demo::MakeCertificates((fs::path(options.stateDir) / "certificates").string(), certificates, error))
    {
        std::fprintf(stderr, "norvia_demo_services: %s\n", error.c_str());
        return 1;
    }
    auto release =
        demo::DemoRelease::Generate(fs::path(options.stateDir) / "storage" / options.release, options.release,
                                    options.dataFiles, options.fileSize, options.setupSize, error);
    if (release && !options.setupProgram.empty() && !release->UseSetupProgram(options.setupProgram, error))
    {
        release.reset();
    }
    if (!release)
    {
        std::fprintf(stderr, "norvia_demo_services: %s\n", error.c_str());
        return 1;
    }
    demo::Artwork artwork = demo::PaintArtwork();
    const fs::path artworkFolder = fs::path(options.stateDir) / "artwork";
    fs::create_directories(artworkFolder, ec);
    for (const auto* images : {&artwork.core, &artwork.media})
    {
        for (const auto& [name, png] : *images)
        {
            std::ofstream(artworkFolder / (name + ".png"), std::ios::binary) << png;
        }
    }
    demo::RequestLog log(options.requestLog);
    if (!log.Open())
    {
        std::fprintf(stderr, "norvia_demo_services: cannot write %s\n", options.requestLog.c_str());
        return 1;
    }
    uint64_t total = 0;
    for (const auto& file : release->Files())
    {
        total += file.size;
    }
    const size_t fileCount = release->Files().size();
    demo::ServiceEndpoints endpoints(options, std::move(*release), std::move(artwork), RandomHex(16));
    demo::DemoServer server(endpoints, log);
    const uint16_t port = server.Start(certificates.certFile, certificates.keyFile, options.port, error);
    if (port == 0)
    {
        std::fprintf(stderr, "norvia_demo_services: %s\n", error.c_str());
        return 1;
    }
    if (!options.readyFile.empty() &&
        !WriteReadyFile(options.readyFile, endpoints, certificates, options, port))
    {
        std::fprintf(stderr, "norvia_demo_services: cannot write %s\n", options.readyFile.c_str());
        return 1;
    }
    std::printf("Norvia demo services on 127.0.0.1:%u (trust %s)\n", port, certificates.caFile.c_str());
    std::printf("  download service  https://%s%s\n", endpoints.HostPort(demo::kServiceName).c_str(),
                demo::kServicePath);
    std::printf("  download storage  https://%s/ (%s)\n", endpoints.StorageHostPort().c_str(),
                options.signedStorage ? "signed paths" : "query signature");
    std::printf("  content server    https://%s/downloadmanager/%s/meta.json\n",
                endpoints.HostPort(demo::kContentName).c_str(), demo::VersionFolder(options.release).c_str());
    std::printf("  release %s: %zu files, %s, product code %s%s\n", options.release.c_str(), fileCount,
                MiB(total).c_str(), options.productCode.c_str(),
                options.damagedFile.empty() ? "" : (", " + options.damagedFile + " served damaged").c_str());
    std::printf("  requests logged to %s, uploads kept in %s\n", options.requestLog.c_str(),
                options.uploadsDir.c_str());
    std::fflush(stdout);

    const time_t started = std::time(nullptr);
    int received = 0;
    while (received <= 0)
    {
        if (options.maxSeconds > 0 && std::time(nullptr) - started >= static_cast<time_t>(options.maxSeconds))
        {
            std::printf("norvia_demo_services: %u seconds are over, stopping\n", options.maxSeconds);
            break;
        }
        timespec wait{1, 0};
        received = sigtimedwait(&stopSignals, nullptr, &wait);
    }
    std::fflush(stdout);
    if (!server.Stop(3000))
    {
        // A client stopped reading mid-answer; do not wait for its write time-out.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "verify")
    {
        return Verify({args.begin() + 1, args.end()});
    }
    if (!args.empty() && args[0] == "serve")
    {
        args.erase(args.begin());
    }
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h"))
    {
        std::fputs(demo::ServiceUsage(), stdout);
        return 0;
    }
    return Serve(args);
}
