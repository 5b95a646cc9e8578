#include "demo_services/ServiceEndpoints.h"

#include "demo_services/StorageAccess.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

namespace demo
{
namespace
{

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string UrlDecode(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '+')
        {
            out += ' ';
        }
        else if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
                 HexDigit(text[i + 2]) >= 0)
        {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        }
        else
        {
            out += text[i];
        }
    }
    return out;
}

int64_t UnixNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string Join(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts)
    {
        text += (text.empty() ? "" : "; ") + part;
    }
    return text;
}

// One streamed setup file: read in pieces, optionally paced and damaged.
struct Transfer
{
    std::ifstream in;
    uint64_t size = 0;
    uint64_t damagedOffset = UINT64_MAX;
    uint64_t rate = 0;
    const std::atomic<bool>* stopping = nullptr;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

bool SendPiece(Transfer& transfer, size_t offset, size_t length, httplib::DataSink& sink)
{
    if (*transfer.stopping)
    {
        return false;
    }
    if (transfer.rate > 0)
    {
        // Wait until the bytes already sent fit the rate, in short sleeps so a stop is seen.
        const auto due = transfer.start + std::chrono::microseconds(offset * 1000000 / transfer.rate);
        while (std::chrono::steady_clock::now() < due)
        {
            if (*transfer.stopping)
            {
                return false;
            }
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                due - std::chrono::steady_clock::now(), std::chrono::milliseconds(50)));
        }
    }
    std::string piece(std::min<size_t>(length, 32768), '\0');
    transfer.in.seekg(static_cast<std::streamoff>(offset));
    transfer.in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    if (transfer.in.gcount() != static_cast<std::streamsize>(piece.size()))
    {
        return false;
    }
    if (transfer.damagedOffset >= offset && transfer.damagedOffset < offset + piece.size())
    {
        piece[transfer.damagedOffset - offset] ^= 0x5A;
    }
    return sink.write(piece.data(), piece.size());
}

} // namespace

std::string VersionFolder(const std::string& release)
{
    std::vector<std::string> pieces;
    size_t from = 0;
    while (from <= release.size())
    {
        const size_t end = std::min(release.find('_', from), release.size());
        if (end > from)
        {
            pieces.push_back(release.substr(from, end - from));
        }
        from = end + 1;
    }
    return pieces.size() >= 3 ? pieces[1] : std::string();
}

std::string FormValue(const std::string& body, const std::string& name)
{
    size_t from = 0;
    while (from <= body.size())
    {
        const size_t end = std::min(body.find('&', from), body.size());
        const std::string pair = body.substr(from, end - from);
        const size_t equals = pair.find('=');
        if (equals != std::string::npos && UrlDecode(pair.substr(0, equals)) == name)
        {
            return UrlDecode(pair.substr(equals + 1));
        }
        from = end + 1;
    }
    return {};
}

ServiceEndpoints::ServiceEndpoints(ServiceOptions options, DemoRelease release, Artwork artwork,
                                   std::string secret)
    : options(std::move(options)), release(std::move(release)), artwork(std::move(artwork)),
      secret(std::move(secret)), uploads(this->options.uploadsDir)
{
}

std::string ServiceEndpoints::StorageHostPort() const
{
    return HostPort(options.signedStorage ? kSignedStorageName : kQueryStorageName);
}

void ServiceEndpoints::DownloadService(const httplib::Request& req, httplib::Response& res, std::string& note)
{
    const std::string method = req.get_header_value("Method");
    if (req.method != "POST" || req.path != kServicePath)
    {
        res.status = 404;
        note = "not a service request";
    }
    else if (method == "RequestDownload")
    {
        Description(req, res, note);
    }
    else if (method == "LogErrorInfo")
    {
        LogUpload(req, res, note);
    }
    else
    {
        res.status = 400;
        res.set_content("unknown Method header\n", "text/plain");
        note = "unknown Method \"" + method + "\"";
    }
}

void ServiceEndpoints::Description(const httplib::Request& req, httplib::Response& res, std::string& note)
{
    const std::string releaseName = FormValue(req.body, "ReleaseName");
    note = "RequestDownload " + releaseName;
    if (releaseName != release.Release())
    {
        // The program treats any answer but 200 as "this release cannot be downloaded".
        res.status = 404;
        res.set_content("{\"error\":\"unknown release\"}", "application/json");
        note += ": unknown release";
        return;
    }
    const nlohmann::json answer = {
        {"product_code", options.productCode},
        {"company_name", "Norvia Demo Ltd."},
        {"download_subdir", StorageFolder()},
        {"host_name", StorageHostPort()},
        {"SAS", Signature()},
    };
    res.status = 200;
    res.set_content(answer.dump(), "application/json");
}

void ServiceEndpoints::LogUpload(const httplib::Request& req, httplib::Response& res, std::string& note)
{
    const auto stored = uploads.Store(req.body, req.get_header_value("ComputerId"));
    if (!stored)
    {
        res.status = 500;
        note = "LogErrorInfo: could not store the upload";
        return;
    }
    note = "LogErrorInfo stored " + stored->gzipFile.string();
    if (stored->records >= 0)
    {
        note += " (" + std::to_string(stored->records) + " records in " + stored->jsonFile.string() + ", " +
                std::to_string(stored->errorRecords) + " with an error number";
        if (!stored->lastError.empty())
        {
            note += "; last: \"" + stored->lastError.substr(0, 160) + "\"";
        }
        note += ")";
    }
    else
    {
        note += " (body is not a gzip of a UTF-16LE JSON array)";
    }
    std::printf("log upload received: %s\n", note.c_str() + std::string("LogErrorInfo stored ").size());
    std::fflush(stdout);
    res.status = 200;
    res.set_content("OK", "text/plain");
}

void ServiceEndpoints::Storage(const httplib::Request& req, httplib::Response& res, std::string& note)
{
    if (req.method != "GET")
    {
        res.status = 405;
        return;
    }
    const std::string host = req.get_header_value("Host");
    const bool signedHost = host.find("product-download-storage-v2") != std::string::npos;
    const size_t question = req.target.find('?');
    const std::string query = question == std::string::npos ? std::string() : req.target.substr(question + 1);
    const AccessCheck check = signedHost ? CheckSignedPath(req.path, StorageFolder(), Signature(), UnixNow())
                                         : CheckQuerySignature(req.path, query, StorageFolder(), Signature());
    if (!check.granted)
    {
        res.status = 403;
        note = "refused: " + Join(check.refusals);
        res.set_content(note + "\n", "text/plain");
        return;
    }
    if (check.fileName == release.FileListName())
    {
        res.status = 200;
        res.set_content(release.FileListText(), "text/plain");
        note = "file list";
        return;
    }
    const ReleaseFile* file = release.Find(check.fileName);
    if (!file)
    {
        res.status = 404;
        note = "no such file";
        return;
    }
    note = file->name == options.damagedFile ? "setup file (served damaged)" : "setup file";
    StreamFile(*file, res);
}

void ServiceEndpoints::StreamFile(const ReleaseFile& file, httplib::Response& res)
{
    auto transfer = std::make_shared<Transfer>();
    transfer->in.open(file.path, std::ios::binary);
    transfer->size = file.size;
    transfer->rate = options.rateBytesPerSecond;
    transfer->stopping = &stopping;
    if (file.name == options.damagedFile && file.size > 0)
    {
        transfer->damagedOffset = file.size / 2;
    }
    if (!transfer->in)
    {
        res.status = 500;
        return;
    }
    res.status = 200;
    res.set_content_provider(static_cast<size_t>(file.size), "application/octet-stream",
                             [transfer](size_t offset, size_t length, httplib::DataSink& sink)
                             { return SendPiece(*transfer, offset, length, sink); });
}

std::string ServiceEndpoints::MetaJson() const
{
    const std::string base = "https://" + HostPort(kContentName) + "/downloadmanager/" +
                             VersionFolder(release.Release()) + "/images/";
    nlohmann::json meta = {{"core", nlohmann::json::object()}, {"media", nlohmann::json::object()}};
    for (const auto& [name, png] : artwork.core)
    {
        meta["core"][name] = base + name + ".png";
    }
    for (const auto& [name, png] : artwork.media)
    {
        meta["media"][name] = base + name + ".png";
    }
    meta["release"] = release.Release();
    return meta.dump(2);
}

void ServiceEndpoints::Content(const httplib::Request& req, httplib::Response& res, std::string& note)
{
    const std::string folder = "/downloadmanager/" + VersionFolder(release.Release()) + "/";
    if (req.method != "GET" || req.path.compare(0, folder.size(), folder) != 0)
    {
        res.status = 404;
        note = "not a content path of this release";
        return;
    }
    const std::string rest = req.path.substr(folder.size());
    if (rest == "meta.json")
    {
        res.status = 200;
        res.set_content(MetaJson(), "application/json");
        return;
    }
    const std::string prefix = "images/";
    const std::string suffix = ".png";
    if (rest.size() > prefix.size() + suffix.size() && rest.compare(0, prefix.size(), prefix) == 0 &&
        rest.compare(rest.size() - suffix.size(), suffix.size(), suffix) == 0)
    {
        const std::string name = rest.substr(prefix.size(), rest.size() - prefix.size() - suffix.size());
        for (const auto* images : {&artwork.core, &artwork.media})
        {
            const auto found = images->find(name);
            if (found != images->end())
            {
                res.status = 200;
                res.set_content(found->second, "image/png");
                return;
            }
        }
    }
    res.status = 404;
    note = "no such content";
}

void ServiceEndpoints::Support(const httplib::Request& req, httplib::Response& res, std::string& note)
{
    if (req.path != kSupportPath)
    {
        res.status = 404;
        return;
    }
    note = "support article";
    res.status = 200;
    res.set_content("<!doctype html><html><head><meta charset=\"utf-8\"><title>Download manager help</title>"
                    "</head><body><h1>The download manager could not finish</h1>"
                    "<p>This is the demo's stand-in for the support article.</p></body></html>\n",
                    "text/html");
}

} // namespace demo
