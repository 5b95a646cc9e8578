#include "DownloadSystem/RemoteHosts.h"

#include "Platform/ProcessInfo.h"

namespace DownloadSystem::RemoteHosts
{

namespace
{

std::string HostFromEnvironment(const char* variable, const char* fallback)
{
    const auto value = Platform::EnvironmentVariable(variable);
    if (!value || value->empty())
        return fallback;
    return *value;
}

} // namespace

std::string ServiceHost()
{
    return HostFromEnvironment("NORVIA_SERVICE_HOST", kDefaultServiceHost);
}

std::string ContentHost()
{
    return HostFromEnvironment("NORVIA_CONTENT_HOST", kDefaultContentHost);
}

std::string SupportHost()
{
    return HostFromEnvironment("NORVIA_SUPPORT_HOST", kDefaultSupportHost);
}

std::string ImageHost(const std::string& urlHost)
{
    const std::string content = ContentHost();
    const std::string contentName = content.substr(0, content.find(':'));
    return urlHost == contentName ? content : urlHost;
}

std::string ServiceUrl()
{
    return "https://" + ServiceHost() + kServicePath;
}

std::string SupportArticleUrl()
{
    return "https://" + SupportHost() + kSupportArticlePath;
}

} // namespace DownloadSystem::RemoteHosts
