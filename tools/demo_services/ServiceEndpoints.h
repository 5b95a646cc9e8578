#pragma once
// The answers of the three remote services: the download service (description and log
// upload), the download storage (file list and setup files behind its access check) and the
// content server (meta.json and artwork), plus the support article page.

#include "demo_services/Artwork.h"
#include "demo_services/DemoRelease.h"
#include "demo_services/LogUploads.h"
#include "demo_services/ServiceOptions.h"
#include "demo_services/StorageAccess.h"

#include <httplib.h>

#include <array>
#include <atomic>
#include <string>

namespace demo
{

// Names on loopback (libcurl resolves *.localhost itself); the certificate lists them all.
inline constexpr const char* kServiceName = "service.localhost";
inline constexpr const char* kContentName = "content.localhost";
inline constexpr const char* kSupportName = "support.localhost";
// Contains "product-download-storage-v2", so the program signs its storage paths.
inline constexpr const char* kSignedStorageName = "product-download-storage-v2.localhost";
inline constexpr const char* kQueryStorageName = "storage.localhost";
// All of them, for resolvers that do not map *.localhost to loopback (WinINet under wine reads a
// hosts file).
inline constexpr std::array<const char*, 5> kHostNames = {kServiceName, kContentName, kSupportName,
                                                          kSignedStorageName, kQueryStorageName};

inline constexpr const char* kServicePath = "/Norvia/DownloadManager8.ashx";
inline constexpr const char* kSupportPath = "/help/download-manager-not-working";

// The version folder of a release name: its second "_" piece when it has three or more.
std::string VersionFolder(const std::string& release);

class ServiceEndpoints
{
  public:
    ServiceEndpoints(ServiceOptions options, DemoRelease release, Artwork artwork, std::string secret);

    // Set once the port is known, before the first request.
    void SetPort(uint16_t port) { this->port = port; }
    // Tells streaming storage answers to give up; they poll it between pieces.
    void SetStopping() { stopping = true; }

    std::string HostPort(const std::string& name) const { return name + ":" + std::to_string(port); }
    std::string StorageHostPort() const;
    // Folder of the release in the storage, mixed case on purpose: signed paths lower-case it.
    std::string StorageFolder() const { return "Releases/" + release.Release(); }
    std::string Signature() const { return MakeSignature(secret); }
    const DemoRelease& Release() const { return release; }
    const ServiceOptions& Options() const { return options; }

    // Each sets status, body and the note for the request log.
    void DownloadService(const httplib::Request& req, httplib::Response& res, std::string& note);
    void Storage(const httplib::Request& req, httplib::Response& res, std::string& note);
    void Content(const httplib::Request& req, httplib::Response& res, std::string& note);
    void Support(const httplib::Request& req, httplib::Response& res, std::string& note);

  private:
    void Description(const httplib::Request& req, httplib::Response& res, std::string& note);
    void LogUpload(const httplib::Request& req, httplib::Response& res, std::string& note);
    void StreamFile(const ReleaseFile& file, httplib::Response& res);
    std::string MetaJson() const;

    ServiceOptions options;
    DemoRelease release;
    Artwork artwork;
    std::string secret;
    LogUploads uploads;
    uint16_t port = 0;
    std::atomic<bool> stopping{false};
};

// Form fields of an application/x-www-form-urlencoded body ('+' and %XX decoded).
std::string FormValue(const std::string& body, const std::string& name);

} // namespace demo
