#pragma once
// The remote services the program talks to. The built-in names are reserved ones that never
// resolve; NORVIA_SERVICE_HOST, NORVIA_CONTENT_HOST and NORVIA_SUPPORT_HOST ("host" or
// "host:port") replace them for tests and the demo. Nothing else is configurable, and the
// download storage always comes from the description answer.

#include <string>

namespace DownloadSystem::RemoteHosts
{

inline constexpr const char* kDefaultServiceHost = "service.norvia.example";
inline constexpr const char* kDefaultContentHost = "content.norvia.example";
inline constexpr const char* kDefaultSupportHost = "support.norvia.example";

inline constexpr const char* kServicePath = "/Norvia/DownloadManager8.ashx";
inline constexpr const char* kSupportArticlePath = "/help/download-manager-not-working";

// Read from the environment at every call.
std::string ServiceHost();
std::string ContentHost();
std::string SupportHost();

// The host to fetch an artwork image from, given the host named in its URL. Image URLs carry no
// usable port (only their host and path count), so the content host's override, port included,
// applies to images that name the content host.
std::string ImageHost(const std::string& urlHost);

// "https://" + service host + kServicePath: the description request and the log upload.
std::string ServiceUrl();
// "https://" + support host + kSupportArticlePath: opened in the browser when a start fails.
std::string SupportArticleUrl();

} // namespace DownloadSystem::RemoteHosts
